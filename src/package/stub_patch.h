// The patch block: ten bytes in the stub's initialised data that tell the stub
// where its package starts. Whoever appends a package to a stub finds the
// marker and writes the stub's own length into the size field; 0 means the
// file carries no package.
#pragma once

#include <cstdint>

namespace setup {

constexpr char kPatchMarker[4] = {'Q', 'z', 'v', 'R'};
constexpr uint32_t kPatchTagOffset = 4;        // u16, not read by anything
constexpr uint32_t kPatchStubSizeOffset = 6;   // u32, little-endian
constexpr uint32_t kPatchBlockSize = 10;
constexpr uint16_t kPatchTag = 0x4829;

// The stub size recorded in this process's own patch block.
uint32_t StubSize();

}  // namespace setup
