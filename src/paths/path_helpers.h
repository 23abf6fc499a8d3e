// Operations on folder paths held in fixed text buffers. Every one stays within
// the buffer it is given. The text helpers they build on are in base/text.h.
#pragma once

#include <cstdint>

#include "base/text.h"

namespace setup {

// Appends "\" when the path is not empty and does not end in one.
void AppendBackslash(char* path, uint32_t size);
// Removes one trailing "\" from a path of 4 or more characters, so that a
// drive root such as C:\ keeps its backslash.
void StripBackslash(char* path);

}  // namespace setup
