#include "unit/support/sim_counted_reader.h"

#include <algorithm>

namespace setup::test {

bool SimCountedReader::ReadCounted(FileHandle* file, void* buffer, uint32_t count,
                                   uint32_t* delivered) {
  ++calls;
  requests.push_back(count);
  *delivered = 0;
  if (calls == failAtCall) return false;
  uint32_t want = std::min(count, maxChunk);
  uint32_t got = 0;
  if (!platform_.ReadFile(*file, buffer, want, &got)) return false;
  if (got == 0 && nextVolume != kInvalidFile) {
    *file = nextVolume;
    nextVolume = kInvalidFile;
    if (!platform_.ReadFile(*file, buffer, want, &got)) return false;
  }
  *delivered = got;
  this->delivered += got;
  return true;
}

void SimCountedReader::UnreadCounted(FileHandle file, uint32_t count) {
  ++unreadCalls;
  unread += count;
  platform_.SetFilePointer(file, -static_cast<int32_t>(count), kFileCurrent);
}

}  // namespace setup::test
