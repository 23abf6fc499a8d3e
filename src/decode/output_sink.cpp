#include "decode/output_sink.h"

#include <cstring>

namespace setup {

bool MemorySink::Write(const uint8_t* data, uint32_t count) {
  if (count > room_) return false;
  if (count != 0) std::memcpy(next_, data, count);
  next_ += count;
  room_ -= count;
  written_ += count;
  return true;
}

bool FileSink::Write(const uint8_t* data, uint32_t count) {
  if (file_ != kInvalidFile && count != 0) {
    uint32_t done = 0;
    platform_.WriteFile(file_, data, count, &done);
  }
  return true;
}

}  // namespace setup
