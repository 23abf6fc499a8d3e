// Heap blocks. Every allocation the engine makes goes through these: a failed
// request compacts the process heap and tries once more before giving up, and
// a freed pointer is always left null.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Both return 1 and the block, or 0 and null: the 1/0 that every allocation
// of the setup reports, kept as the callers test it.
int AllocBlock(Platform& platform, uint32_t size, void** block);
int AllocZeroedBlock(Platform& platform, uint32_t size, void** block);
// Releases *block when it is not null and sets it to null.
void FreeBlock(Platform& platform, void** block);

template <typename T>
int AllocBlock(Platform& platform, uint32_t size, T** block) {
  void* raw = nullptr;
  int ok = AllocBlock(platform, size, &raw);
  *block = static_cast<T*>(raw);
  return ok;
}

template <typename T>
int AllocZeroedBlock(Platform& platform, uint32_t size, T** block) {
  void* raw = nullptr;
  int ok = AllocZeroedBlock(platform, size, &raw);
  *block = static_cast<T*>(raw);
  return ok;
}

template <typename T>
void FreeBlock(Platform& platform, T** block) {
  void* raw = const_cast<void*>(static_cast<const void*>(*block));
  FreeBlock(platform, &raw);
  *block = nullptr;
}

}  // namespace setup
