#include "unit/support/decode_harness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/file_io.h"
#include "unit/support/sim_counted_reader.h"

namespace setup::test {

DecodeHarness::DecodeHarness() { platform.AddDrive('C', 1u << 30); }

DecodeOutcome DecodeHarness::Decode(const std::vector<uint8_t>& stream) {
  return DecodeAt(stream, 0);
}

DecodeOutcome DecodeHarness::DecodeAt(const std::vector<uint8_t>& file, uint32_t offset) {
  return DecodeWith(file, offset, nullptr, 0);
}

DecodeOutcome DecodeHarness::DecodeWith(const std::vector<uint8_t>& file, uint32_t offset,
                                        CountedReader* reader, uint32_t limit) {
  platform.AddFile("C:\\stream.bin", std::string(file.begin(), file.end()));
  FileHandle input = OpenForRead(platform, "C:\\stream.bin");
  SeekFile(platform, input, static_cast<int32_t>(offset), kFileBegin);
  RecordingSink sink;
  StreamDecoder decoder(platform, reader);
  decoder.UsePortableLoop(portableLoop);
  DecodeOutcome outcome;
  outcome.entryResult = decoder.Decode(sink, input, limit);
  outcome.streamResult = decoder.LastResult();
  outcome.bytes = sink.bytes;
  outcome.writes = sink.writes;
  outcome.positionAfter = TellFile(platform, input);
  CloseFile(platform, &input);
  return outcome;
}

DecodeOutcome DecodeHarness::DecodeToMemoryWith(const std::vector<uint8_t>& file,
                                                CountedReader* reader, uint32_t limit,
                                                uint32_t capacity) {
  platform.AddFile("C:\\stream.bin", std::string(file.begin(), file.end()));
  FileHandle input = OpenForRead(platform, "C:\\stream.bin");
  // Bytes past the block must stay as they are.
  std::vector<uint8_t> memory(capacity + 600, 0xEE);
  StreamDecoder decoder(platform, reader);
  decoder.UsePortableLoop(portableLoop);
  DecodeOutcome outcome;
  outcome.entryResult = decoder.DecodeToMemory(memory.data(), capacity, input, limit);
  outcome.streamResult = decoder.LastResult();
  EXPECT_EQ(std::count(memory.begin() + capacity, memory.end(), 0xEE), 600);
  memory.resize(capacity);
  outcome.bytes = memory;
  outcome.positionAfter = TellFile(platform, input);
  CloseFile(platform, &input);
  return outcome;
}

DecodeOutcome DecodeHarness::DecodeFed(const std::vector<uint8_t>& stream, Feed feed) {
  switch (feed) {
    case Feed::File:
      return Decode(stream);
    case Feed::FileWithTail: {
      std::vector<uint8_t> file = stream;
      file.insert(file.end(), 64, 0xA5);
      return Decode(file);
    }
    case Feed::Trickle: {
      SimCountedReader reader(platform);
      reader.maxChunk = 1;
      return DecodeWith(stream, 0, &reader, static_cast<uint32_t>(stream.size()));
    }
    case Feed::Memory:
    case Feed::MemoryTrickle: {
      bool trickle = feed == Feed::MemoryTrickle;
      DecodeOutcome recorded = DecodeFed(stream, trickle ? Feed::Trickle : Feed::File);
      SimCountedReader reader(platform);
      reader.maxChunk = 1;
      DecodeOutcome outcome = DecodeToMemoryWith(
          stream, trickle ? &reader : nullptr, trickle ? static_cast<uint32_t>(stream.size()) : 0,
          static_cast<uint32_t>(recorded.bytes.size()));
      outcome.writes = recorded.writes;
      // A failed decode leaves the block's tail unspecified: report what the sink got.
      if (outcome.entryResult != DECODE_OK) outcome.bytes = recorded.bytes;
      return outcome;
    }
  }
  return {};
}

const char* FeedName(Feed feed) {
  switch (feed) {
    case Feed::File: return "File";
    case Feed::FileWithTail: return "FileWithTail";
    case Feed::Trickle: return "Trickle";
    case Feed::Memory: return "Memory";
    case Feed::MemoryTrickle: return "MemoryTrickle";
  }
  return "?";
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace setup::test
