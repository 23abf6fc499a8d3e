#include "unit/support/decode_harness.h"

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
  DecodeOutcome outcome;
  outcome.entryResult = decoder.Decode(sink, input, limit);
  outcome.streamResult = decoder.LastResult();
  outcome.bytes = sink.bytes;
  outcome.writes = sink.writes;
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
  }
  return {};
}

const char* FeedName(Feed feed) {
  switch (feed) {
    case Feed::File: return "File";
    case Feed::FileWithTail: return "FileWithTail";
    case Feed::Trickle: return "Trickle";
  }
  return "?";
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace setup::test
