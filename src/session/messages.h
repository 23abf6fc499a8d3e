// The session's message helpers: every message box of the setup, and the text
// of a setup error with its subject.
#pragma once

#include <cstdint>

#include "session/setup_context.h"

namespace setup {

// Writes string (6, error) into `buffer`; a text holding "%s" gets the error
// subject there, any other text is copied as it stands. Never runs past `size`.
void FormatErrorText(const SetupContext& context, char* buffer, uint32_t size, int error);

// A message box with the setup's caption, string (6, 0), owned by the frame
// dialog, else the background window, else nothing. Returns the answer.
//
// A quiet run (context.run.quiet) shows none: every box of the setup passes
// here, and is answered by QuietAnswer and told to the log instead.
int ShowSetupMessage(SetupContext& context, const char* text, uint32_t type);

// The quiet mode's policy: a message (OK only) is taken as read; not enough
// disk space: No (the run stops with error 11); write-protected targets: Yes
// (replaced, and read-only again); a newer file or one in another language
// on the machine: No (kept); leave the installation incomplete: Yes. A file
// in use and a missing disk are decided without a question when quiet (at the
// restart; error 15); were they asked, Abort and Cancel. Any other box gets
// the answer that declines.
int QuietAnswer(Question question, uint32_t type);

// ShowSetupMessage for a question, tagged with what it asks while it is up.
int AskSetupQuestion(SetupContext& context, Question question, const char* text, uint32_t type);

// Room for a package message of 1024 characters and its terminating NUL, with
// a path filled in.
constexpr uint32_t kMessageSize = 1025 + kPathSize * 2;

// Writes string (6, index) into `buffer` with `path` in place of its "%s"
// when the text is a format with exactly that one conversion; any other text
// is copied as it stands.
void FormatPathMessage(const SetupContext& context, unsigned index, const char* path,
                       char* buffer, uint32_t size);

}  // namespace setup
