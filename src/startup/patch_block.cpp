#include "package/stub_patch.h"

namespace setup {

// Volatile, so that the compiler neither folds the 0 of a fresh build into the
// code that reads it nor drops the block: the package builder rewrites it in
// the finished file.
extern "C" {
volatile const unsigned char gPatchBlock[kPatchBlockSize] __attribute__((used)) = {
    'Q', 'z', 'v', 'R', kPatchTag & 0xFF, kPatchTag >> 8, 0, 0, 0, 0};
}

uint32_t StubSize() {
  const volatile unsigned char* size = gPatchBlock + kPatchStubSizeOffset;
  return static_cast<uint32_t>(size[0]) | static_cast<uint32_t>(size[1]) << 8 |
         static_cast<uint32_t>(size[2]) << 16 | static_cast<uint32_t>(size[3]) << 24;
}

}  // namespace setup
