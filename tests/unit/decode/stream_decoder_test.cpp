// Streams assembled bit by bit: block headers, stored blocks, the fixed code,
// the length and distance alphabets, and output around the window's end.
//
// Most cases run three ways, because the decoder reads differently near the
// end of its buffered input: from a file that ends with the stream, from one
// with unrelated bytes after it (the buffered path runs up to the last
// symbol), and through a counted reader that hands over one byte per read
// (every symbol decoded the careful way).
#include "decode/stream_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/support/block_writer.h"
#include "unit/support/decode_harness.h"

namespace setup {
namespace {

using test::BitWriter;
using test::DecodeHarness;
using test::DecodeOutcome;
using test::Feed;
using test::kDynamic;
using test::kFinal;
using test::kFixed;
using test::kStored;
using test::RandomBytes;
using test::StreamBuilder;

// Fixed literal/length code of a symbol, written first bit first.
void FixedSymbol(BitWriter& w, unsigned symbol) {
  if (symbol < 144) w.Code(0x30 + symbol, 8);
  else if (symbol < 256) w.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.Code(symbol - 256, 7);
  else w.Code(0xC0 + symbol - 280, 8);
}

void FixedDistance(BitWriter& w, unsigned code) { w.Code(code, 5); }

std::vector<uint32_t> WholeWindowsThenRest(size_t size) {
  std::vector<uint32_t> writes(size / 32768, 32768u);
  writes.push_back(static_cast<uint32_t>(size % 32768));
  return writes;
}

std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  size_t n = std::min(got.size(), want.size());
  for (size_t i = 0; i < n; ++i) {
    if (got[i] != want[i]) {
      return "first difference at " + std::to_string(i) + ": got " + std::to_string(got[i]) +
             ", want " + std::to_string(want[i]);
    }
  }
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size());
}

// Decodes and checks the output, its pieces and where the input was left.
DecodeOutcome ExpectDecodes(const std::vector<uint8_t>& stream,
                            const std::vector<uint8_t>& expected, Feed feed) {
  DecodeHarness h;
  DecodeOutcome out = h.DecodeFed(stream, feed);
  EXPECT_EQ(out.entryResult, DECODE_OK) << "stream result " << out.streamResult;
  EXPECT_EQ(out.streamResult, STREAM_OK);
  EXPECT_TRUE(out.bytes == expected) << FirstDifference(out.bytes, expected);
  EXPECT_EQ(out.writes, WholeWindowsThenRest(expected.size()));
  EXPECT_EQ(out.positionAfter, stream.size());
  return out;
}

DecodeOutcome ExpectDecodes(const StreamBuilder& b, Feed feed) {
  return ExpectDecodes(b.Bytes(), b.expected, feed);
}

DecodeOutcome ExpectFails(const std::vector<uint8_t>& stream, int streamResult, Feed feed) {
  DecodeHarness h;
  DecodeOutcome out = h.DecodeFed(stream, feed);
  EXPECT_EQ(out.entryResult, DECODE_FAILED);
  EXPECT_EQ(out.streamResult, streamResult);
  return out;
}

std::vector<uint8_t> Str(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(StreamDecoderTest, EmptyStoredBlockIsAnEmptyStream) {
  BitWriter w;
  w.Bits(kStored | kFinal, 4);
  w.Align();
  w.Bits(0, 16);
  DecodeHarness h;
  DecodeOutcome out = h.Decode(w.bytes());
  EXPECT_EQ(out.entryResult, DECODE_OK);
  EXPECT_TRUE(out.bytes.empty());
  EXPECT_EQ(out.writes, std::vector<uint32_t>{0});
  EXPECT_EQ(out.positionAfter, 3u);
}

TEST(StreamDecoderTest, FixedBlockLiteralsAndMatch) {
  BitWriter w;
  w.Bits(kFixed | kFinal, 4);
  FixedSymbol(w, 'a');
  FixedSymbol(w, 'b');
  FixedSymbol(w, 258);  // length 4
  FixedDistance(w, 1);  // distance 2
  FixedSymbol(w, 256);
  DecodeHarness h;
  DecodeOutcome out = h.Decode(w.bytes());
  ASSERT_EQ(out.entryResult, DECODE_OK);
  EXPECT_EQ(std::string(out.bytes.begin(), out.bytes.end()), "ababab");
}

TEST(StreamDecoderTest, InvalidBlockTypesFailWithResult2) {
  for (uint32_t type = 0; type < 5; ++type) {
    BitWriter w;
    w.Bits(type | kFinal, 4);
    w.Bits(0, 16);
    DecodeHarness h;
    DecodeOutcome out = h.Decode(w.bytes());
    EXPECT_EQ(out.entryResult, DECODE_FAILED) << type;
    EXPECT_EQ(out.streamResult, STREAM_BAD_BLOCK) << type;
  }
}

class StreamDecoderBlockTest : public ::testing::TestWithParam<Feed> {};

INSTANTIATE_TEST_SUITE_P(StreamDecoder, StreamDecoderBlockTest,
                         ::testing::Values(Feed::File, Feed::FileWithTail, Feed::Trickle,
                                           Feed::Memory, Feed::MemoryTrickle),
                         [](const auto& info) { return test::FeedName(info.param); });

// ---------------------------------------------------------------------------
// Block headers

TEST_P(StreamDecoderBlockTest, HeaderValues0x06And0x0DAreDynamicNotFinalAndFixedFinal) {
  BitWriter w;
  w.Bits(0x06, 4);  // dynamic, not final: 'x' and 256 have one bit each
  std::vector<uint8_t> literal(257, 0);
  literal['x'] = 1;
  literal[256] = 1;
  test::WriteDynamicHeader(w, 257, 1, test::PlainCodeLengthLengths(),
                           test::PlainRuns(literal, {0}));
  w.Code(0, 1);  // 'x'
  w.Code(0, 1);  // 'x'
  w.Code(1, 1);  // end of block
  w.Bits(0x0D, 4);  // fixed, final
  FixedSymbol(w, 'y');
  FixedSymbol(w, 256);
  ExpectDecodes(w.bytes(), Str("xxy"), GetParam());
}

TEST_P(StreamDecoderBlockTest, HeadersWithTypes0To4FailWithResult2EvenAfterGoodBlocks) {
  for (uint32_t header = 0; header < 16; ++header) {
    if ((header & 7) > 4) continue;
    SCOPED_TRACE(header);
    BitWriter w;
    w.Bits(kFixed, 4);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 256);
    w.Bits(header, 4);
    // What a decoder that took this for a stored or fixed block would find.
    w.Align();
    w.Bits(1, 16);
    w.Bits('z', 8);
    ExpectFails(w.bytes(), STREAM_BAD_BLOCK, GetParam());
  }
}

// ---------------------------------------------------------------------------
// Stored blocks

TEST_P(StreamDecoderBlockTest, StoredBlockDropsTheRestOfTheByteItsHeaderEndsIn) {
  BitWriter w;
  w.Bits(kFixed, 4);
  FixedSymbol(w, 'a');    // 8 bits
  FixedSymbol(w, 256);    // 7 bits: 19 so far
  w.Bits(kStored, 4);     // 23
  w.Bits(1, 1);           // a set bit in the dropped part
  w.Bits(3, 16);          // LEN, on the byte boundary
  for (char c : std::string("XYZ")) w.Bits(static_cast<uint8_t>(c), 8);
  w.Bits(kFixed | kFinal, 4);
  FixedSymbol(w, 'b');
  FixedSymbol(w, 256);
  ExpectDecodes(w.bytes(), Str("aXYZb"), GetParam());
}

TEST_P(StreamDecoderBlockTest, StoredBlockHeaderEndingOnAByteBoundaryDropsNothing) {
  BitWriter w;
  w.Bits(kFixed, 4);
  FixedSymbol(w, 200);  // 9 bits
  FixedSymbol(w, 256);  // 7 bits: 20 so far
  w.Bits(kStored, 4);   // 24: LEN follows at once
  w.Bits(2, 16);
  w.Bits('P', 8);
  w.Bits('Q', 8);
  w.Bits(kStored | kFinal, 4);
  w.Bits(0xF, 4);  // dropped
  w.Bits(1, 16);
  w.Bits('R', 8);
  ExpectDecodes(w.bytes(), {200, 'P', 'Q', 'R'}, GetParam());
}

TEST_P(StreamDecoderBlockTest, BlockAfterStoredBlockStartsOnTheNextByte) {
  for (unsigned length : {0u, 1u, 5u}) {
    SCOPED_TRACE(length);
    BitWriter w;
    w.Bits(kStored | 0xF0, 8);  // header, and four dropped bits all set
    w.Bits(length, 16);
    for (unsigned i = 0; i < length; ++i) w.Bits('0' + i, 8);
    w.Bits(kStored, 4);  // a second stored block straight after
    w.Bits(0xF, 4);
    w.Bits(1, 16);
    w.Bits('s', 8);
    w.Bits(kFixed | kFinal, 4);  // and a fixed block after that
    FixedSymbol(w, 'f');
    FixedSymbol(w, 256);
    std::string want;
    for (unsigned i = 0; i < length; ++i) want += static_cast<char>('0' + i);
    ExpectDecodes(w.bytes(), Str(want + "sf"), GetParam());
  }
}

TEST_P(StreamDecoderBlockTest, LongStoredBlocksCrossInputBlocksAndWindows) {
  StreamBuilder b;
  b.Stored(RandomBytes(65535, 1), false);
  b.Stored(RandomBytes(4095, 2), false);
  b.Stored(RandomBytes(65535, 3), false);
  b.Stored(RandomBytes(40000, 4), true);
  ExpectDecodes(b, GetParam());
}

TEST_P(StreamDecoderBlockTest, StoredBlockAfterCodedBlocksMidInput) {
  // The stored block's length and first bytes may already sit among the bits
  // fetched for the fixed block; the matches after it copy from its data.
  StreamBuilder b;
  b.Fixed(false);
  b.Literals(RandomBytes(50, 5));
  b.Match(20, 13);
  b.End();
  b.Stored(RandomBytes(300, 6), false);
  b.Fixed(false);
  b.Match(258, 300);
  b.Literal('!');
  b.End();
  b.Stored(RandomBytes(7, 7), false);
  b.Fixed(true);
  b.Match(100, 107);
  b.End();
  ExpectDecodes(b, GetParam());
}

// ---------------------------------------------------------------------------
// The fixed code and the length and distance alphabets

TEST_P(StreamDecoderBlockTest, EveryLengthSymbolWithSmallestAndLargestExtraBits) {
  StreamBuilder b;
  b.Fixed(true);
  b.Literals(RandomBytes(40, 8));
  for (unsigned i = 0; i < 29; ++i) {
    b.Match(test::kLengthBase[i], 37);
    b.Literal(static_cast<uint8_t>(i));
    if (i < 28) {
      // 284 with all extra bits set would be 258, which is written as 285.
      unsigned largest = std::min(test::kLengthBase[i] + (1u << test::kLengthExtra[i]) - 1, 257u);
      b.Match(largest, 40);
      b.Literal(static_cast<uint8_t>(100 + i));
    }
  }
  b.End();
  ExpectDecodes(b, GetParam());
}

TEST_P(StreamDecoderBlockTest, EveryDistanceCodeWithSmallestAndLargestExtraBits) {
  StreamBuilder b;
  b.Stored(RandomBytes(32768, 9), false);
  b.Fixed(true);
  for (unsigned i = 0; i < 30; ++i) {
    b.Match(3 + i % 4, test::kDistanceBase[i]);
    b.Match(3 + i % 5, test::kDistanceBase[i] + (1u << test::kDistanceExtra[i]) - 1);
  }
  b.End();
  ExpectDecodes(b, GetParam());
}

TEST_P(StreamDecoderBlockTest, Symbol285IsLength258WithNoExtraBits) {
  BitWriter w;
  w.Bits(kFixed | kFinal, 4);
  FixedSymbol(w, 'a');
  FixedSymbol(w, 285);
  FixedDistance(w, 0);
  FixedSymbol(w, 'Z');  // read as extra bits if 285 had any
  FixedSymbol(w, 256);
  ExpectDecodes(w.bytes(), Str(std::string(259, 'a') + "Z"), GetParam());
}

TEST_P(StreamDecoderBlockTest, Symbols286And287FailWithResult1) {
  for (unsigned symbol : {286u, 287u}) {
    SCOPED_TRACE(symbol);
    BitWriter w;
    w.Bits(kFixed | kFinal, 4);
    FixedSymbol(w, 'a');
    FixedSymbol(w, symbol);
    FixedDistance(w, 0);
    FixedSymbol(w, 256);
    ExpectFails(w.bytes(), STREAM_BAD_DATA, GetParam());
  }
}

TEST_P(StreamDecoderBlockTest, FixedDistanceCodes30And31FailWithResult1) {
  for (unsigned code : {30u, 31u}) {
    SCOPED_TRACE(code);
    BitWriter w;
    w.Bits(kFixed | kFinal, 4);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 257);
    FixedDistance(w, code);
    FixedSymbol(w, 256);
    ExpectFails(w.bytes(), STREAM_BAD_DATA, GetParam());
  }
}

// ---------------------------------------------------------------------------
// Output in windows

// `size` bytes: random literals, then matches reaching 300 bytes back.
StreamBuilder FixedStreamOfSize(size_t size) {
  StreamBuilder b;
  b.Fixed(true);
  b.Literals(RandomBytes(std::min<size_t>(size, 300), 10));
  while (b.expected.size() < size) {
    size_t left = size - b.expected.size();
    if (left < 3) {
      b.Literal(static_cast<uint8_t>(left));
    } else {
      size_t length = left > 258 ? (left - 258 < 3 ? 200 : 258) : left;
      b.Match(static_cast<unsigned>(length), 300 - static_cast<unsigned>(left % 7));
    }
  }
  b.End();
  return b;
}

TEST_P(StreamDecoderBlockTest, OutputIsWrittenInWholeWindowsThenTheRest) {
  // ExpectDecodes checks the pieces: {32768, 0} for 32768 bytes, {32768, 1}
  // for 32769, and so on.
  for (size_t size : {1u, 32767u, 32768u, 32769u, 65535u, 65536u, 65537u, 100000u, 163841u,
                      200000u}) {
    SCOPED_TRACE(size);
    ExpectDecodes(FixedStreamOfSize(size), GetParam());
  }
}

TEST_P(StreamDecoderBlockTest, ExactlyOneWindowGivesAFullWindowThenAnEmptyWrite) {
  StreamBuilder b = FixedStreamOfSize(32768);
  DecodeOutcome out = ExpectDecodes(b, GetParam());
  EXPECT_EQ(out.writes, (std::vector<uint32_t>{32768, 0}));
  b = FixedStreamOfSize(32769);
  out = ExpectDecodes(b, GetParam());
  EXPECT_EQ(out.writes, (std::vector<uint32_t>{32768, 1}));
  b = FixedStreamOfSize(65536);
  out = ExpectDecodes(b, GetParam());
  EXPECT_EQ(out.writes, (std::vector<uint32_t>{32768, 32768, 0}));
}

TEST_P(StreamDecoderBlockTest, Length258AtDistance1AcrossTheWindowEnd) {
  std::vector<uint8_t> head = RandomBytes(32700, 11);
  BitWriter w;
  w.Bits(kStored, 4);
  w.Align();
  w.Bits(32700, 16);
  for (uint8_t byte : head) w.Bits(byte, 8);
  w.Bits(kFixed | kFinal, 4);
  FixedSymbol(w, 285);
  FixedDistance(w, 0);
  FixedSymbol(w, 'Z');
  FixedSymbol(w, 256);
  std::vector<uint8_t> want = head;
  want.insert(want.end(), 258, head.back());
  want.push_back('Z');
  DecodeOutcome out = ExpectDecodes(w.bytes(), want, GetParam());
  EXPECT_EQ(out.writes, (std::vector<uint32_t>{32768, 191}));
}

TEST_P(StreamDecoderBlockTest, MatchesAcrossTheWindowEndAtLongerDistances) {
  for (unsigned distance : {2u, 7u, 8u, 9u, 258u, 1000u, 32768u}) {
    SCOPED_TRACE(distance);
    StreamBuilder b;
    b.Stored(RandomBytes(32700, 12), false);
    b.Fixed(true);
    b.Match(258, distance);
    b.Match(258, distance);
    b.Literal('Z');
    b.End();
    ExpectDecodes(b, GetParam());
  }
}

TEST_P(StreamDecoderBlockTest, Distance32768CopiesFromExactlyOneWindowBack) {
  // Distance code 29 with all 13 extra bits set, after exactly one window and
  // after a little more.
  for (size_t before : {32768u, 32868u}) {
    SCOPED_TRACE(before);
    std::vector<uint8_t> head = RandomBytes(before, 13);
    BitWriter w;
    w.Bits(kStored, 4);
    w.Align();
    w.Bits(static_cast<uint32_t>(before), 16);
    for (uint8_t byte : head) w.Bits(byte, 8);
    w.Bits(kFixed | kFinal, 4);
    FixedSymbol(w, 285);
    FixedDistance(w, 29);
    w.Bits(0x1FFF, 13);
    FixedSymbol(w, 256);
    std::vector<uint8_t> want = head;
    size_t from = before - 32768;
    want.insert(want.end(), head.begin() + from, head.begin() + from + 258);
    ExpectDecodes(w.bytes(), want, GetParam());
  }
}

TEST_P(StreamDecoderBlockTest, Distance32768AfterManyWindows) {
  // More than five windows of output, then copies from one window back and
  // from nearby.
  StreamBuilder b;
  b.Stored(RandomBytes(65535, 14), false);
  b.Stored(RandomBytes(65535, 15), false);
  b.Stored(RandomBytes(65535, 16), false);
  b.Fixed(true);
  for (int i = 0; i < 300; ++i) {
    b.Match(258, 32768);
    b.Match(5, 1 + i * 97 % 32768);
  }
  b.End();
  ExpectDecodes(b, GetParam());
}

TEST_P(StreamDecoderBlockTest, DistancesBeforeTheStreamStartReadZeros) {
  BitWriter w;
  w.Bits(kFixed | kFinal, 4);
  for (char c : std::string("abcde")) FixedSymbol(w, static_cast<uint8_t>(c));
  FixedSymbol(w, 264);  // length 10
  FixedDistance(w, 5);  // distance 7 (base 7, one extra bit)
  w.Bits(0, 1);
  FixedSymbol(w, 285);  // length 258
  FixedDistance(w, 29);
  w.Bits(0x1FFF, 13);  // distance 32768
  FixedSymbol(w, 256);
  std::string want = std::string("abcde") + std::string("\0\0abcde\0\0a", 10) +
                     std::string(258, '\0');
  ExpectDecodes(w.bytes(), Str(want), GetParam());
}

}  // namespace
}  // namespace setup
