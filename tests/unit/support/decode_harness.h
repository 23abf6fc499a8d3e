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

// A simulated machine with drive C: and the given bytes in C:\stream.bin.
class DecodeHarness {
 public:
  DecodeHarness();
  SimPlatform platform;

  DecodeOutcome Decode(const std::vector<uint8_t>& stream);
  // Reads `stream` starting at `offset` of the file holding `file`.
  DecodeOutcome DecodeAt(const std::vector<uint8_t>& file, uint32_t offset);
};

std::vector<uint8_t> Bytes(const std::string& s);

}  // namespace setup::test
