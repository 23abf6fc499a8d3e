#include "unit/support/decode_harness.h"

#include "package/file_io.h"

namespace setup::test {

DecodeHarness::DecodeHarness() { platform.AddDrive('C', 1u << 30); }

DecodeOutcome DecodeHarness::Decode(const std::vector<uint8_t>& stream) {
  return DecodeAt(stream, 0);
}

DecodeOutcome DecodeHarness::DecodeAt(const std::vector<uint8_t>& file, uint32_t offset) {
  platform.AddFile("C:\\stream.bin", std::string(file.begin(), file.end()));
  FileHandle input = OpenForRead(platform, "C:\\stream.bin");
  SeekFile(platform, input, static_cast<int32_t>(offset), kFileBegin);
  RecordingSink sink;
  StreamDecoder decoder(platform, nullptr);
  DecodeOutcome outcome;
  outcome.entryResult = decoder.Decode(sink, input, 0);
  outcome.streamResult = decoder.LastResult();
  outcome.bytes = sink.bytes;
  outcome.writes = sink.writes;
  outcome.positionAfter = TellFile(platform, input);
  CloseFile(platform, &input);
  return outcome;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace setup::test
