#include "decode/checksum.h"

#include <bit>
#include <cstring>

#include "base/file_io.h"
#include "base/memory.h"

namespace setup {

uint32_t ComputeChecksum(const void* data, uint32_t count, uint32_t initial) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t sum = initial;
  for (uint32_t words = count / 4; words > 0; --words, p += 4) {
    uint32_t w = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    sum = std::rotl(sum, 1) + w;
  }
  for (uint32_t rest = count % 4; rest > 0; --rest) sum = std::rotl(sum, 1) + *p++;
  return sum;
}

uint32_t FileChecksum(Platform& platform, FileHandle file, uint32_t* size) {
  constexpr uint32_t kChunk = 16384;
  uint32_t remaining = FileSize(platform, file);
  if (size != nullptr) *size = remaining;
  uint8_t* buffer = nullptr;
  if (!AllocZeroedBlock(platform, kChunk, &buffer)) return 0;
  uint32_t sum = 0;
  while (remaining > 0) {
    uint32_t chunk = remaining < kChunk ? remaining : kChunk;
    uint32_t done = 0;
    platform.ReadFile(file, buffer, chunk, &done);
    sum = ComputeChecksum(buffer, chunk, sum);
    remaining -= chunk;
  }
  FreeBlock(platform, &buffer);
  return sum;
}

}  // namespace setup
