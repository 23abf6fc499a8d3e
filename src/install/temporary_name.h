// Names for files written beside their targets before they take their place.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// `path` with its extension replaced by `extension` (".$$A", ".$AA"); while a
// file of that name exists, its last character counts up (A, B, C, ... Z).
// False when no free name is left or the name does not fit in `size`.
bool FormTemporaryName(Platform& platform, const char* path, const char* extension, char* out,
                       uint32_t size);

}  // namespace setup
