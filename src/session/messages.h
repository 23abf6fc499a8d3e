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
int ShowSetupMessage(SetupContext& context, const char* text, uint32_t type);

}  // namespace setup
