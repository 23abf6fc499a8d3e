// Where decoded bytes go. The decoder hands its output over in whole windows of
// 32768 bytes, the last piece shorter, and stops when a sink refuses a piece.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Nonzero when output can be accepted at all.
  virtual int IsReady() = 0;
  // Takes `count` bytes (at most 32768). Returns false when the sink cannot
  // hold them; the decode then fails.
  virtual bool Write(const uint8_t* data, uint32_t count) = 0;
};

// Copies output to a block of known size. Output beyond the block is refused,
// never written past its end.
class MemorySink final : public OutputSink {
 public:
  MemorySink(void* destination, uint32_t capacity)
      : next_(static_cast<uint8_t*>(destination)), room_(capacity) {}
  int IsReady() override { return next_ != nullptr; }
  bool Write(const uint8_t* data, uint32_t count) override;
  uint32_t Written() const { return written_; }

 private:
  uint8_t* next_;
  uint32_t room_;
  uint32_t written_ = 0;
};

// Appends output to an open file. A write that fails or comes up short stops
// the output and is remembered, so that the caller can tell a full disk from
// damaged data. With a limit, at most that many bytes are written and the
// piece that would pass it is refused, so that a stream longer than its
// file's size stops there instead of filling the disk.
class FileSink final : public OutputSink {
 public:
  static constexpr uint64_t kNoLimit = ~uint64_t{0};
  FileSink(Platform& platform, FileHandle file, uint64_t limit = kNoLimit)
      : platform_(platform), file_(file), limit_(limit) {}
  int IsReady() override { return 1; }
  bool Write(const uint8_t* data, uint32_t count) override;
  // Bytes taken so far, the limit at most.
  uint64_t Written() const { return written_; }
  // A write failed; DiskFull() when it came up short or the drive said full.
  bool WriteFailed() const { return writeFailed_; }
  bool DiskFull() const { return diskFull_; }

 private:
  Platform& platform_;
  FileHandle file_;
  uint64_t limit_;
  uint64_t written_ = 0;
  bool writeFailed_ = false;
  bool diskFull_ = false;
};

}  // namespace setup
