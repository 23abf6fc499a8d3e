// The file checksum: a rotate-and-add sum over little-endian 32-bit words.
//
// Each whole 4-byte group w of the input does a = rotl(a, 1) + w; each byte b
// left over at the end does a = rotl(a, 1) + b. It chains: the sum of one
// buffer is the starting value for the next, which equals the sum over both
// joined only when the first has a length that is a multiple of 4.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

uint32_t ComputeChecksum(const void* data, uint32_t count, uint32_t initial);

// The checksum of a whole file, read from its current position (callers pass
// a file just opened) in chunks of 16384 bytes. A read error does not stop the
// sum; a missing buffer gives 0. With `size`, the file's size as it was found
// there, so that a caller checking both looks it up once.
uint32_t FileChecksum(Platform& platform, FileHandle file, uint32_t* size = nullptr);

}  // namespace setup
