// Runs the stream decoder over bytes held in a simulated file, recording what
// reaches the sink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/stream_decoder.h"
#include "platform/sim/sim_platform.h"

namespace setup::test {

// Records every piece the decoder hands over.
class RecordingSink final : public OutputSink {
 public:
  int IsReady() override { return 1; }
  bool Write(const uint8_t* data, uint32_t count) override {
    writes.push_back(count);
    bytes.insert(bytes.end(), data, data + count);
    return true;
  }
  std::vector<uint32_t> writes;
  std::vector<uint8_t> bytes;
};

struct DecodeOutcome {
  int entryResult;   // DECODE_OK / DECODE_FAILED / DECODE_ABORTED
  int streamResult;  // STREAM_ result
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writes;
  uint32_t positionAfter;  // file position after the decode
};

// How the decoder is given its input.
enum class Feed {
  File,          // straight from the file, which ends with the stream
  FileWithTail,  // straight from the file, with unrelated bytes after the stream
  Trickle,       // counted input delivered one byte per read, limit = the stream's size
  // As File and Trickle, but decoded to memory: into a block of the size a
  // decode into a RecordingSink gives (whose writes the outcome reports).
  Memory,
  MemoryTrickle,
};
const char* FeedName(Feed feed);

// A simulated machine with drive C: and the given bytes in C:\stream.bin.
class DecodeHarness {
 public:
  DecodeHarness();
  SimPlatform platform;
  bool portableLoop = false;  // the decoder's portable fast path, wherever it runs

  DecodeOutcome Decode(const std::vector<uint8_t>& stream);
  // Reads `stream` starting at `offset` of the file holding `file`.
  DecodeOutcome DecodeAt(const std::vector<uint8_t>& file, uint32_t offset);
  // Same, with counted input: `limit` bytes through `reader` (which must read
  // from this harness's platform).
  DecodeOutcome DecodeWith(const std::vector<uint8_t>& file, uint32_t offset,
                           CountedReader* reader, uint32_t limit);
  // Same, decoding into a block of `capacity` bytes with DecodeToMemory.
  DecodeOutcome DecodeToMemoryWith(const std::vector<uint8_t>& file, CountedReader* reader,
                                   uint32_t limit, uint32_t capacity);
  // Decodes `stream` fed as `feed` says.
  DecodeOutcome DecodeFed(const std::vector<uint8_t>& stream, Feed feed);
};

std::vector<uint8_t> Bytes(const std::string& s);

}  // namespace setup::test
