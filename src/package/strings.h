// Texts of the package: every text the setup shows is a (group, index) pair
// of the current component's string tables. Group 6 holds the caption and
// messages (index N is the text of setup error N), group 7 button captions.
#pragma once

#include <cstdint>

#include "package/setup_context.h"

namespace setup {

// Never null: a missing group or index gives the empty text.
const char* GetPackageString(const SetupContext& context, unsigned group, unsigned index);

// The same lookup in one group, for readers that hold a group of their own.
const char* StringInGroup(const StringGroup& group, unsigned index);

// Writes string (6, error) into `buffer`; a text holding "%s" gets the error
// subject there, any other text is copied as it stands. Never runs past `size`.
void FormatErrorText(const SetupContext& context, char* buffer, uint32_t size, int error);

// A message box with the setup's caption, string (6, 0), owned by the frame
// dialog, else the background window, else nothing. Returns the answer.
int ShowSetupMessage(SetupContext& context, const char* text, uint32_t type);

}  // namespace setup
