#include "base/memory.h"

namespace setup {

namespace {

int AllocWithRetry(Platform& platform, uint32_t size, bool zeroed, void** block) {
  *block = platform.HeapAlloc(size, zeroed);
  if (*block == nullptr) {
    platform.HeapCompact();
    *block = platform.HeapAlloc(size, zeroed);
  }
  return *block != nullptr ? 1 : 0;
}

}  // namespace

int AllocBlock(Platform& platform, uint32_t size, void** block) {
  return AllocWithRetry(platform, size, false, block);
}

int AllocZeroedBlock(Platform& platform, uint32_t size, void** block) {
  return AllocWithRetry(platform, size, true, block);
}

void FreeBlock(Platform& platform, void** block) {
  if (*block != nullptr) {
    platform.HeapFree(*block);
    *block = nullptr;
  }
}

}  // namespace setup
