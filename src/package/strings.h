// Texts of the package: every text the setup shows is a (group, index) pair
// of the current component's string tables. Group 6 holds the caption and
// messages (index N is the text of setup error N), group 7 button captions.
#pragma once

#include <cstdint>

#include "package/package_state.h"

namespace setup {

// Never null: a missing group or index gives the empty text.
const char* GetPackageString(const CurrentComponent& current, unsigned group, unsigned index);

// The same lookup in one group, for readers that hold a group of their own.
const char* StringInGroup(const StringGroup& group, unsigned index);

}  // namespace setup
