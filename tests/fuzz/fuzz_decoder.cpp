// Feeds arbitrary bytes to the stream decoder: into a bounded memory block,
// and through a counted reader with a limit that may fail part way. The
// portable build of the fast path must do exactly what the one for this
// processor does.
//
// Input layout: bytes 0-2 the destination capacity (20 bits, up to 1 MiB) and
// in the top 4 bits the share of the stream read as counted input; byte 3
// bit 0 counted input, bits 1-7 the counted read that fails (0: none); the
// rest is the stream.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "decode/stream_decoder.h"
#include "platform/sim/sim_platform.h"

namespace {

class FlakyReader final : public setup::CountedReader {
 public:
  FlakyReader(setup::Platform& platform, unsigned failAt) : platform_(platform), failAt_(failAt) {}
  bool ReadCounted(setup::FileHandle* file, void* buffer, uint32_t count,
                   uint32_t* delivered) override {
    if (++calls_ == failAt_) return false;
    *delivered = setup::ReadUpTo(platform_, *file, buffer, count);
    return true;
  }
  void UnreadCounted(setup::FileHandle file, uint32_t count) override {
    platform_.SetFilePointer(file, -static_cast<int32_t>(count), setup::kFileCurrent);
  }

 private:
  setup::Platform& platform_;
  unsigned failAt_;
  unsigned calls_ = 0;
};

struct Outcome {
  int result;
  uint32_t position;
  std::vector<uint8_t> output;
};

Outcome Run(const std::string& file, uint32_t capacity, uint32_t limit, unsigned failAt,
            bool portable = false) {
  setup::SimPlatform platform;
  platform.AddDrive('C', 1u << 30);
  platform.AddFile("C:\\s.bin", file);
  setup::FileHandle input = setup::OpenForRead(platform, "C:\\s.bin");
  FlakyReader reader(platform, failAt);
  Outcome outcome;
  outcome.output.assign(capacity, 0);
  {
    setup::StreamDecoder decoder(platform, &reader);
    decoder.UsePortableLoop(portable);
    outcome.result = decoder.DecodeToMemory(outcome.output.data(), capacity, input, limit);
    outcome.position = setup::TellFile(platform, input);
  }
  setup::CloseFile(platform, &input);
  if (platform.OutstandingBlocks() != 0) __builtin_trap();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t capacity = data[0] | data[1] << 8 | (data[2] & 0x0F) << 16;
  bool counted = (data[3] & 1) != 0;
  unsigned failAt = data[3] >> 1;
  std::string file(reinterpret_cast<const char*>(data + 4), size - 4);
  // The counted part covers a share of the file; reading goes on from the file.
  uint32_t limit = counted ? 1 + static_cast<uint32_t>(file.size()) * (data[2] >> 4) / 15 : 0;

  Outcome full = Run(file, capacity, limit, failAt);
  Outcome portable = Run(file, capacity, limit, failAt, true);
  if (portable.result != full.result || portable.position != full.position ||
      portable.output != full.output) {
    __builtin_trap();
  }
  if (full.result == setup::DECODE_ABORTED && (!counted || failAt == 0)) __builtin_trap();
  if (full.result != setup::DECODE_OK) return 0;
  // The decode stopped right after the last byte it used: the file cut there
  // decodes the same, and cut one byte shorter it fails.
  Outcome cut = Run(file.substr(0, full.position), capacity, limit, failAt);
  if (cut.result != setup::DECODE_OK || cut.output != full.output) __builtin_trap();
  if (full.position > 0) {
    Outcome shorter = Run(file.substr(0, full.position - 1), capacity, limit, failAt);
    if (shorter.result == setup::DECODE_OK) __builtin_trap();
  }
  return 0;
}
