// Counted input: a decode given a limit reads that many bytes through the
// CountedReader, then straight from the file it names. A read that fails
// abandons the decode at once.
#include "decode/stream_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/block_writer.h"
#include "unit/support/decode_harness.h"
#include "unit/support/sim_counted_reader.h"

namespace setup {
namespace {

using test::DecodeHarness;
using test::RandomBytes;
using test::RecordingSink;
using test::SimCountedReader;
using test::StreamBuilder;

// Letters from a small alphabet: compresses to about half, so that the
// stream takes many input blocks.
std::vector<uint8_t> Text(size_t size) {
  std::vector<uint8_t> out = RandomBytes(size, 7);
  for (uint8_t& c : out) c = static_cast<uint8_t>('a' + c % 16);
  return out;
}

// About 300 bytes with a stored, a fixed and a dynamic block.
StreamBuilder SmallStream() {
  StreamBuilder b;
  b.Stored(RandomBytes(100, 1), false);
  b.Fixed(false);
  b.Literals(test::Bytes("counted input"));
  b.Match(200, 13);
  b.End();
  std::vector<uint8_t> literal(258, 0);
  literal['c'] = 1;
  literal[256] = 2;
  literal[257] = 2;
  b.Dynamic(true, test::Huffman(literal), test::Huffman({1}));
  b.Literal('c');
  b.Match(3, 1);
  b.End();
  return b;
}

class StreamDecoderCountedInputTest : public ::testing::Test {
 protected:
  void SetUp() override { h.platform.AddDrive('D', 1u << 30); }
  FileHandle Put(const char* path, const std::vector<uint8_t>& bytes) {
    h.platform.AddFile(path, std::string(bytes.begin(), bytes.end()));
    return OpenForRead(h.platform, path);
  }
  DecodeHarness h;
};

TEST_F(StreamDecoderCountedInputTest, FailedReadAtAnyPointAbortsTheDecode) {
  // One byte per read, so that every read the stream needs can be the one
  // that fails: in a block header, a dynamic header, a stored block, a code.
  StreamBuilder b = SmallStream();
  std::vector<uint8_t> stream = b.Bytes();
  for (int failAt = 1; failAt <= static_cast<int>(stream.size()); ++failAt) {
    SCOPED_TRACE(failAt);
    SimCountedReader reader(h.platform);
    reader.maxChunk = 1;
    reader.failAtCall = failAt;
    FileHandle input = Put("C:\\s.bin", stream);
    {
      StreamDecoder decoder(h.platform, &reader);
      RecordingSink sink;
      EXPECT_EQ(decoder.Decode(sink, input, static_cast<uint32_t>(stream.size())),
                DECODE_ABORTED);
      EXPECT_EQ(decoder.LastResult(), STREAM_ABORTED);
      EXPECT_EQ(reader.calls, failAt) << "reading went on after the failure";
      EXPECT_EQ(reader.unreadCalls, 0);
      EXPECT_TRUE(sink.writes.empty());
    }
    CloseFile(h.platform, &input);
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  }
}

TEST_F(StreamDecoderCountedInputTest, FailedReadAfterWholeWindowsAbortsTheDecode) {
  // Failures in the second and later 4096-byte reads: in a long stored block,
  // and in compressed data after full windows have gone out.
  StreamBuilder b;
  b.Stored(RandomBytes(60000, 2), true);
  std::vector<uint8_t> text = Text(100000);
  std::vector<uint8_t> packed = tools::WriteStream(text.data(), text.size(), {});
  ASSERT_GT(packed.size(), 5 * 4096u);
  for (const std::vector<uint8_t>& stream : {b.Bytes(), packed}) {
    for (int failAt : {2, 3, 5}) {
      SCOPED_TRACE(testing::Message() << stream.size() << " bytes, read " << failAt);
      SimCountedReader reader(h.platform);
      reader.failAtCall = failAt;
      FileHandle input = Put("C:\\s.bin", stream);
      {
        StreamDecoder decoder(h.platform, &reader);
        RecordingSink sink;
        EXPECT_EQ(decoder.Decode(sink, input, static_cast<uint32_t>(stream.size())),
                  DECODE_ABORTED);
        EXPECT_EQ(decoder.LastResult(), STREAM_ABORTED);
        for (uint32_t w : sink.writes) EXPECT_EQ(w, 32768u);
      }
      CloseFile(h.platform, &input);
      EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
    }
  }
}

TEST_F(StreamDecoderCountedInputTest, ReadsStayWithinTheLimitThenGoToTheFile) {
  std::vector<uint8_t> text = Text(120000);
  std::vector<uint8_t> stream = tools::WriteStream(text.data(), text.size(), {});
  ASSERT_GT(stream.size(), 9000u);
  std::vector<uint8_t> file = stream;
  file.insert(file.end(), 6000, 0x77);
  for (uint32_t limit : {1u, 100u, 4096u, 5000u, static_cast<uint32_t>(stream.size())}) {
    SCOPED_TRACE(limit);
    SimCountedReader reader(h.platform);
    FileHandle input = Put("C:\\s.bin", file);
    StreamDecoder decoder(h.platform, &reader);
    RecordingSink sink;
    EXPECT_EQ(decoder.Decode(sink, input, limit), DECODE_OK);
    EXPECT_TRUE(sink.bytes == text);
    uint32_t left = limit;
    for (uint32_t request : reader.requests) {
      EXPECT_LE(request, std::min(left, 4096u));
      left -= std::min(left, request);
    }
    EXPECT_EQ(reader.delivered, limit);
    EXPECT_EQ(TellFile(h.platform, input), stream.size());
    CloseFile(h.platform, &input);
  }
}

TEST_F(StreamDecoderCountedInputTest, CountedBytesFetchedAheadGoBackThroughTheReader) {
  // The limit covers the stream and 100 bytes more; all of them arrive in
  // one read, and exactly those 100 are given back.
  StreamBuilder b = SmallStream();
  std::vector<uint8_t> stream = b.Bytes();
  std::vector<uint8_t> file = stream;
  file.insert(file.end(), 100, 0x55);
  SimCountedReader reader(h.platform);
  FileHandle input = Put("C:\\s.bin", file);
  StreamDecoder decoder(h.platform, &reader);
  RecordingSink sink;
  EXPECT_EQ(decoder.Decode(sink, input, static_cast<uint32_t>(file.size())), DECODE_OK);
  EXPECT_TRUE(sink.bytes == b.expected);
  EXPECT_EQ(reader.unread, 100u);
  EXPECT_EQ(TellFile(h.platform, input), stream.size());
  CloseFile(h.platform, &input);
}

TEST_F(StreamDecoderCountedInputTest, ReadingGoesOnFromTheFileTheReaderMovedTo) {
  // The stream starts in one volume and ends in the next; after the limit,
  // the decoder reads straight from the second file.
  std::vector<uint8_t> text = Text(40000);
  std::vector<uint8_t> stream = tools::WriteStream(text.data(), text.size(), {});
  ASSERT_GT(stream.size(), 1200u);
  std::vector<uint8_t> first(stream.begin(), stream.begin() + 1000);
  std::vector<uint8_t> second(stream.begin() + 1000, stream.end());
  second.insert(second.end(), {'N', 'E', 'X', 'T'});
  FileHandle volume1 = Put("C:\\disk1.bin", first);
  FileHandle volume2 = Put("D:\\disk2.bin", second);
  for (uint32_t limit : {1100u, static_cast<uint32_t>(stream.size())}) {
    SCOPED_TRACE(limit);
    SeekFile(h.platform, volume1, 0, kFileBegin);
    SeekFile(h.platform, volume2, 0, kFileBegin);
    SimCountedReader reader(h.platform);
    reader.nextVolume = volume2;
    StreamDecoder decoder(h.platform, &reader);
    RecordingSink sink;
    EXPECT_EQ(decoder.Decode(sink, volume1, limit), DECODE_OK) << decoder.LastResult();
    EXPECT_TRUE(sink.bytes == text);
    EXPECT_EQ(decoder.InputFile(), volume2);
    EXPECT_EQ(TellFile(h.platform, volume2), stream.size() - 1000);
  }
  CloseFile(h.platform, &volume1);
  CloseFile(h.platform, &volume2);
}

TEST_F(StreamDecoderCountedInputTest, ShortReadsDecodeTheSameAsWholeBlocks) {
  std::vector<uint8_t> text = Text(80000);
  std::vector<uint8_t> stream = tools::WriteStream(text.data(), text.size(),
                                                   {tools::Compressor::Zlib, 9});
  for (uint32_t chunk : {1u, 2u, 7u, 8u, 9u, 4095u}) {
    SCOPED_TRACE(chunk);
    SimCountedReader reader(h.platform);
    reader.maxChunk = chunk;
    FileHandle input = Put("C:\\s.bin", stream);
    StreamDecoder decoder(h.platform, &reader);
    RecordingSink sink;
    EXPECT_EQ(decoder.Decode(sink, input, static_cast<uint32_t>(stream.size())), DECODE_OK);
    EXPECT_TRUE(sink.bytes == text);
    EXPECT_EQ(TellFile(h.platform, input), stream.size());
    CloseFile(h.platform, &input);
  }
}

}  // namespace
}  // namespace setup
