// Where a decode leaves its input, and one decoder used for many streams.
//
// Streams stored back to back in one file are read one after the other with
// the same handle: each decode must leave the file just after the last byte
// that holds a bit of its stream, whatever it fetched ahead.
#include "decode/stream_decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "tools/streamwriter/deflate_blocks.h"
#include "tools/streamwriter/stream_writer.h"
#include "unit/support/block_writer.h"
#include "unit/support/decode_harness.h"
#include "unit/support/sim_counted_reader.h"

namespace setup {
namespace {

using test::BitWriter;
using test::Huffman;
using test::RandomBytes;
using test::RecordingSink;
using test::SimCountedReader;
using test::StreamBuilder;
using tools::Compressor;

struct Stream {
  std::string name;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> decoded;
};

std::vector<uint8_t> Text(size_t size, int seed) {
  std::vector<uint8_t> out;
  for (int i = 0; out.size() < size; ++i) {
    std::string word = "word" + std::to_string((i * 7 + seed) % 23) + (i % 9 == 0 ? "\n" : " ");
    out.insert(out.end(), word.begin(), word.end());
  }
  out.resize(size);
  return out;
}

Stream Transcoded(std::string name, const std::vector<uint8_t>& data, Compressor compressor,
                  int level) {
  return {std::move(name), tools::WriteStream(data.data(), data.size(), {compressor, level}), data};
}

Stream Built(std::string name, const StreamBuilder& b) {
  return {std::move(name), b.Bytes(), b.expected};
}

// Hand-assembled and compressor-made streams; the first ends mid-byte, some
// end with a stored block.
std::vector<Stream> BackToBackStreams() {
  std::vector<Stream> streams;
  StreamBuilder fixed;
  fixed.Fixed(true);
  fixed.Literal('a');
  fixed.End();  // 19 bits
  streams.push_back(Built("fixed, ends mid-byte", fixed));

  std::vector<uint8_t> noise = RandomBytes(5000, 1);
  streams.push_back(Transcoded("zlib level 0", noise, Compressor::Zlib, 0));
  streams.push_back(Transcoded("libdeflate text", Text(50000, 1), Compressor::Libdeflate, 6));

  StreamBuilder stored;
  stored.Fixed(false);
  stored.Literals(test::Bytes("xyz"));
  stored.End();
  stored.Stored(test::Bytes("stored last"), true);
  streams.push_back(Built("hand, stored last", stored));

  streams.push_back(Transcoded("zlib small text", Text(300, 2), Compressor::Zlib, 9));
  streams.push_back(
      Transcoded("libdeflate noise", RandomBytes(9000, 2), Compressor::Libdeflate, 12));

  std::vector<uint8_t> literal(257, 0);
  literal['q'] = 1;
  literal[256] = 1;
  StreamBuilder dynamic;
  dynamic.Dynamic(true, Huffman(literal), Huffman({0}));
  dynamic.Literals(test::Bytes("qqq"));
  dynamic.End();
  streams.push_back(Built("hand dynamic", dynamic));
  streams.push_back(Transcoded("zlib text", Text(70000, 3), Compressor::Zlib, 6));
  return streams;
}

TEST(StreamDecoderTestStreams, ZlibLevel0AndLibdeflateNoiseEndWithAStoredBlock) {
  // The zlib level 0 and libdeflate noise streams end with a stored block.
  std::vector<uint8_t> noise = RandomBytes(5000, 1);
  for (auto [compressor, level] : {std::pair{Compressor::Zlib, 0}, {Compressor::Libdeflate, 12}}) {
    std::string error;
    auto blocks = tools::ParseDeflate(tools::CompressDeflate(noise.data(), noise.size(),
                                                             {compressor, level}), &error);
    ASSERT_TRUE(blocks.has_value()) << error;
    EXPECT_EQ(blocks->back().type, tools::BlockType::Stored);
  }
}

enum class Input { Direct, Counted, CountedInSmallReads };

class StreamDecoderPositionTest : public ::testing::TestWithParam<Input> {};

INSTANTIATE_TEST_SUITE_P(StreamDecoder, StreamDecoderPositionTest,
                         ::testing::Values(Input::Direct, Input::Counted,
                                           Input::CountedInSmallReads),
                         [](const auto& info) {
                           switch (info.param) {
                             case Input::Direct: return "Direct";
                             case Input::Counted: return "Counted";
                             default: return "CountedInSmallReads";
                           }
                         });

TEST_P(StreamDecoderPositionTest, BackToBackStreamsDecodeOneAfterTheOther) {
  std::vector<Stream> streams = BackToBackStreams();
  std::string file;
  for (const Stream& s : streams) file.append(s.bytes.begin(), s.bytes.end());
  file += "TAIL";

  test::DecodeHarness h;
  h.platform.AddFile("C:\\all.bin", file);
  SimCountedReader reader(h.platform);
  if (GetParam() == Input::CountedInSmallReads) reader.maxChunk = 3;
  bool counted = GetParam() != Input::Direct;
  {
    StreamDecoder decoder(h.platform, counted ? &reader : nullptr);
    FileHandle input = OpenForRead(h.platform, "C:\\all.bin");
    uint32_t end = 0;
    for (const Stream& s : streams) {
      SCOPED_TRACE(s.name);
      uint32_t size = static_cast<uint32_t>(s.bytes.size());
      end += size;
      uint64_t deliveredBefore = reader.delivered;
      RecordingSink sink;
      ASSERT_EQ(decoder.Decode(sink, input, counted ? size : 0), DECODE_OK)
          << decoder.LastResult();
      EXPECT_TRUE(sink.bytes == s.decoded);
      EXPECT_EQ(TellFile(h.platform, input), end);
      EXPECT_EQ(decoder.InputFile(), input);
      if (counted) {
        EXPECT_LE(reader.delivered - deliveredBefore, size) << "read past the limit";
      }
    }
    char tail[8] = {};
    EXPECT_EQ(ReadUpTo(h.platform, input, tail, sizeof tail), 4u);
    EXPECT_EQ(std::string(tail), "TAIL");
    CloseFile(h.platform, &input);
  }
  EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
}

TEST(StreamDecoderOffsetTest, StreamsStartingAtAnOffsetLeaveTheFileAtTheirEnd) {
  // A stream in the middle of a file whose bytes around it are not its own.
  std::vector<Stream> streams = BackToBackStreams();
  for (const Stream& s : streams) {
    SCOPED_TRACE(s.name);
    std::vector<uint8_t> file(37, 0xFF);
    file.insert(file.end(), s.bytes.begin(), s.bytes.end());
    file.insert(file.end(), 5000, 0x00);
    test::DecodeHarness h;
    test::DecodeOutcome out = h.DecodeAt(file, 37);
    ASSERT_EQ(out.entryResult, DECODE_OK);
    EXPECT_TRUE(out.bytes == s.decoded);
    EXPECT_EQ(out.positionAfter, 37 + s.bytes.size());
  }
}

TEST(StreamDecoderOffsetTest, StreamEndingWithAShortCodeAtTheEndOfTheFile) {
  // End of block has one bit but the first-level table is wider than what is
  // left, so the last lookup runs past the end of the file: the zero bits it
  // is given are not the stream's and must not move the file back. The end
  // of block falls at every bit position of the last byte.
  std::vector<uint8_t> literal(258, 0);
  literal[256] = 1;
  for (unsigned i = 0; i < 11; ++i) literal['a' + i] = static_cast<uint8_t>(i + 2);
  literal['l'] = 12;
  Huffman code(literal);
  for (unsigned n = 0; n < 8; ++n) {
    for (unsigned b = 0; b < 2; ++b) {
      SCOPED_TRACE(testing::Message() << n << " 'a', " << b << " 'b'");
      StreamBuilder s;
      s.Dynamic(true, code, Huffman({0}));
      s.Literal('l');
      for (unsigned i = 0; i < n; ++i) s.Literal('a');
      for (unsigned i = 0; i < b; ++i) s.Literal('b');
      s.End();
      for (test::Feed feed : {test::Feed::File, test::Feed::Trickle}) {
        test::DecodeHarness h;
        test::DecodeOutcome out = h.DecodeFed(s.Bytes(), feed);
        ASSERT_EQ(out.entryResult, DECODE_OK) << test::FeedName(feed);
        EXPECT_TRUE(out.bytes == s.expected);
        EXPECT_EQ(out.positionAfter, s.Bytes().size()) << test::FeedName(feed);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// One decoder, many streams

TEST(StreamDecoderReuseTest, ManyStreamsWithOneDecoder) {
  test::DecodeHarness h;
  std::vector<Stream> streams = BackToBackStreams();
  // Copies from before the start read zeros, whatever the last stream left
  // in the window: here streams of more than five windows come first.
  StreamBuilder zeros;
  zeros.Fixed(true);
  zeros.Literal('z');
  zeros.Match(258, 32768);
  zeros.Match(100, 20000);
  zeros.Match(3, 1);
  zeros.End();
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < streams.size() / 2; i += 2) {
      std::swap(streams[i], streams[streams.size() - 1 - i]);
    }
    streams.push_back(Transcoded("long " + std::to_string(round),
                                 Text(32768 * (5 + round) + round, round), Compressor::Libdeflate,
                                 round * 4));
    streams.push_back(Built("zeros before the start", zeros));
  }
  {
    StreamDecoder decoder(h.platform, nullptr);
    for (size_t i = 0; i < streams.size(); ++i) {
      const Stream& s = streams[i];
      SCOPED_TRACE(testing::Message() << i << ": " << s.name);
      std::string path = "C:\\s" + std::to_string(i) + ".bin";
      h.platform.AddFile(path, std::string(s.bytes.begin(), s.bytes.end()));
      FileHandle input = OpenForRead(h.platform, path.c_str());
      std::vector<uint8_t> memory(s.decoded.size() + 1);
      EXPECT_EQ(decoder.DecodeToMemory(memory.data(), static_cast<uint32_t>(s.decoded.size()),
                                       input, 0),
                DECODE_OK);
      memory.pop_back();
      EXPECT_TRUE(memory == s.decoded);
      CloseFile(h.platform, &input);
    }
    // A failing stream in between does not upset the next one.
    h.platform.AddFile("C:\\bad.bin", std::string("\x0F\xFF\xFF", 3));
    FileHandle bad = OpenForRead(h.platform, "C:\\bad.bin");
    RecordingSink sink;
    EXPECT_EQ(decoder.Decode(sink, bad, 0), DECODE_FAILED);
    CloseFile(h.platform, &bad);
    FileHandle good = OpenForRead(h.platform, "C:\\s0.bin");
    RecordingSink again;
    EXPECT_EQ(decoder.Decode(again, good, 0), DECODE_OK);
    EXPECT_TRUE(again.bytes == streams[0].decoded);
    CloseFile(h.platform, &good);
  }
  EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
}

TEST(StreamDecoderReuseTest, ReleasedBuffersAreMadeAgainWhenNeeded) {
  test::DecodeHarness h;
  std::vector<uint8_t> text = Text(200000, 9);
  Stream big = Transcoded("big", text, Compressor::Zlib, 6);
  StreamBuilder zeros;
  zeros.Fixed(true);
  zeros.Literal('z');
  zeros.Match(258, 32768);
  zeros.End();
  Stream small = Built("zeros", zeros);
  h.platform.AddFile("C:\\big.bin", std::string(big.bytes.begin(), big.bytes.end()));
  h.platform.AddFile("C:\\small.bin", std::string(small.bytes.begin(), small.bytes.end()));
  StreamDecoder decoder(h.platform, nullptr);
  for (int round = 0; round < 2; ++round) {
    for (const auto& [path, stream] : {std::pair{"C:\\big.bin", &big}, {"C:\\small.bin", &small}}) {
      FileHandle input = OpenForRead(h.platform, path);
      RecordingSink sink;
      EXPECT_EQ(decoder.Decode(sink, input, 0), DECODE_OK);
      EXPECT_TRUE(sink.bytes == stream->decoded) << path;
      CloseFile(h.platform, &input);
    }
    decoder.ReleaseBuffers();
    EXPECT_EQ(h.platform.OutstandingBlocks(), 0u);
  }
}

}  // namespace
}  // namespace setup
