#include "decode/output_sink.h"

#include <cstring>

namespace setup {

bool MemorySink::Write(const uint8_t* data, uint32_t count) {
  if (count > room_) return false;
  // A decoder that wrote straight into the destination hands over the bytes in place.
  if (count != 0 && data != next_) std::memcpy(next_, data, count);
  next_ += count;
  room_ -= count;
  written_ += count;
  return true;
}

bool FileSink::Write(const uint8_t* data, uint32_t count) {
  uint64_t room = limit_ - written_;
  uint32_t take = count <= room ? count : static_cast<uint32_t>(room);
  if (file_ != kInvalidFile && take != 0) {
    uint32_t done = 0;
    int ok = platform_.WriteFile(file_, data, take, &done);
    if (!ok || done != take) {
      uint32_t error = ok ? kErrorDiskFull : platform_.GetLastError();
      writeFailed_ = true;
      diskFull_ = error == kErrorDiskFull || error == kErrorHandleDiskFull;
      return false;
    }
  }
  written_ += take;
  return take == count;
}

}  // namespace setup
