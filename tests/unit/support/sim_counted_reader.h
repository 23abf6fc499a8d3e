// Counted input for the decoder tests, served from simulated files the way
// the package reader serves package data: short reads on request, a failure
// at a chosen call, and a move to the next "volume" file when one ends.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/stream_decoder.h"
#include "platform/platform.h"

namespace setup::test {

class SimCountedReader final : public CountedReader {
 public:
  explicit SimCountedReader(Platform& platform) : platform_(platform) {}

  bool ReadCounted(FileHandle* file, void* buffer, uint32_t count,
                   uint32_t* delivered) override;
  // Moves the file pointer back: the bytes are read again by the next reader.
  void UnreadCounted(FileHandle file, uint32_t count) override;

  // Settings.
  uint32_t maxChunk = UINT32_MAX;      // deliver at most this many bytes per call
  int failAtCall = 0;                  // 1-based call that fails; 0: none
  FileHandle nextVolume = kInvalidFile;  // where reading goes on when *file ends

  // What happened.
  int calls = 0;
  std::vector<uint32_t> requests;
  uint64_t delivered = 0;
  uint64_t unread = 0;
  int unreadCalls = 0;

 private:
  Platform& platform_;
};

}  // namespace setup::test
