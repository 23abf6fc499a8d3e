// The decoder's fast path against its careful path: word-step copies at short
// distances, and codes of every length, with the most extra bits, met at
// every state of the bit buffer where the buffered input runs out.
//
// Each stream runs through both builds of the fast path, and three ways:
// from a file (the fast path hands over near the end of every 4096-byte
// input block), from a file with bytes after the stream, and one byte per
// read (the careful path throughout).
#include "decode/stream_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "unit/support/block_writer.h"
#include "unit/support/decode_harness.h"
#include "unit/support/sim_counted_reader.h"

namespace setup {
namespace {

using test::DecodeHarness;
using test::DecodeOutcome;
using test::Feed;
using test::Huffman;
using test::RandomBytes;
using test::SimCountedReader;
using test::StreamBuilder;

class StreamFastPathTest : public ::testing::TestWithParam<Feed> {
 protected:
  // Both builds of the fast path: the one for this processor and the
  // portable one.
  void ExpectDecodes(const StreamBuilder& b) {
    std::vector<uint8_t> stream = b.Bytes();
    for (bool portable : {false, true}) {
      SCOPED_TRACE(portable ? "portable loop" : "loop for this processor");
      DecodeHarness h;
      h.portableLoop = portable;
      DecodeOutcome out = h.DecodeFed(stream, GetParam());
      ASSERT_EQ(out.streamResult, STREAM_OK);
      ASSERT_EQ(out.bytes.size(), b.expected.size());
      for (size_t i = 0; i < out.bytes.size(); ++i) {
        ASSERT_EQ(out.bytes[i], b.expected[i]) << "at " << i;
      }
      EXPECT_EQ(out.positionAfter, stream.size());
    }
  }
};

INSTANTIATE_TEST_SUITE_P(StreamDecoder, StreamFastPathTest,
                         ::testing::Values(Feed::File, Feed::FileWithTail, Feed::Trickle,
                                           Feed::Memory, Feed::MemoryTrickle),
                         [](const auto& info) { return test::FeedName(info.param); });

TEST_P(StreamFastPathTest, ShortDistancesOverlapTheirOwnOutput) {
  // Distances below a word repeat a pattern shorter than one store; the
  // others up to 40 overlap the first five words of their copy.
  StreamBuilder b;
  b.Fixed(true);
  uint32_t seed = 1;
  for (unsigned distance = 1; distance <= 41; ++distance) {
    for (unsigned length : {3u, 7u, 8u, 9u, 16u, 17u, 39u, 40u, 41u, 100u, 258u}) {
      b.Literals(RandomBytes(1 + seed % 23, seed));
      ++seed;
      b.Match(length, distance);
    }
  }
  b.End();
  ExpectDecodes(b);
}

TEST_P(StreamFastPathTest, ShortDistancesAcrossEveryWindowEnd) {
  // Matches that run past a window's end write into the room behind the
  // buffer before it slides back, five windows on.
  StreamBuilder b;
  b.Fixed(true);
  for (unsigned window = 1; window <= 7; ++window) {
    unsigned distance = 1 + window % 8;
    b.Literals(RandomBytes(window * 32768 - 3 * window - b.expected.size(), window));
    b.Match(258, distance);
  }
  b.End();
  ExpectDecodes(b);
}

TEST_P(StreamFastPathTest, MatchesBeforeTheStartReadZerosInLongOutput) {
  // Output long enough to be decoded straight into a memory block: there the
  // bytes before the stream's first are not a zeroed window but must read so.
  StreamBuilder b;
  b.Fixed(true);
  b.Match(10, 1);
  b.Literal('a');
  for (unsigned distance : {20u, 41u, 300u, 32768u}) {
    b.Match(258, distance);
    b.Literals(RandomBytes(1 + distance % 5, distance));
  }
  b.Literals(RandomBytes(70000, 9));
  b.Match(258, 32768);
  b.End();
  ExpectDecodes(b);
}

TEST_P(StreamFastPathTest, LongestCodesAndExtrasAtEveryInputPosition) {
  // Complete codes with lengths 1 to 15, so that some literals, lengths, the
  // end of block and distances need sub-tables, and a match can take all 48
  // bits of one refill. Random symbols put every kind of symbol across the
  // ends of several input blocks.
  const unsigned literalSymbols[16] = {'a', 257, 'b', 262, 265, 'c', 269, 'd',
                                       273, 'e', 277, 'f', 281, 256, 284, 'z'};
  const unsigned distanceCodes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 28, 29};
  std::vector<uint8_t> literalLengths(286, 0);
  std::vector<uint8_t> distanceLengths(30, 0);
  for (unsigned i = 0; i < 16; ++i) {
    uint8_t length = static_cast<uint8_t>(i < 15 ? i + 1 : 15);
    literalLengths[literalSymbols[i]] = length;
    distanceLengths[distanceCodes[i]] = length;
  }
  // Length ranges of the length symbols above, and distance ranges of the codes.
  const unsigned lengths[][2] = {{3, 3},     {8, 8},     {11, 12},   {19, 22},
                                 {35, 42},   {67, 82},   {131, 162}, {227, 257}};
  const unsigned distances[][2] = {{1, 1},   {2, 2},    {3, 3},     {4, 4},       {5, 6},
                                   {7, 8},   {9, 12},   {13, 16},   {17, 24},     {25, 32},
                                   {33, 48}, {49, 64},  {65, 96},   {97, 128},
                                   {16385, 24576},      {24577, 32768}};
  for (uint32_t seed : {3u, 4u}) {
    SCOPED_TRACE(seed);
    StreamBuilder b;
    b.Dynamic(true, Huffman(literalLengths), Huffman(distanceLengths));
    std::vector<uint8_t> dice = RandomBytes(80000, seed);
    for (size_t i = 0; i + 3 < dice.size(); i += 4) {
      if (dice[i] % 8 < 5) {
        b.Literal(static_cast<uint8_t>("abcdefz"[dice[i + 1] % 7]));
        continue;
      }
      const unsigned* l = lengths[dice[i + 1] % 8];
      const unsigned* d = distances[dice[i + 2] % 16];
      b.Match(l[0] + dice[i + 3] % (l[1] - l[0] + 1), d[1] - dice[i + 3] % (d[1] - d[0] + 1));
    }
    b.End();
    ASSERT_GT(b.Bytes().size(), 3 * 4096u);
    ExpectDecodes(b);
  }
}

TEST(StreamFastPathMemoryTest, BlockPastAShortStreamIsTheSameWhicheverPathEndedIt) {
  // A stream ending short of its memory block, its last match decoded by the
  // fast path (input follows the stream), whose word copies run past the
  // output into the block; and by the careful path, which writes exactly.
  StreamBuilder b;
  b.Fixed(true);
  b.Literals(RandomBytes(70000, 5));
  b.Match(258, 1000);
  b.Literal('z');
  b.End();
  std::vector<uint8_t> stream = b.Bytes();
  std::vector<uint8_t> withTail = stream;
  withTail.insert(withTail.end(), 64, 0xA5);
  DecodeHarness h;
  DecodeOutcome fast = h.DecodeToMemoryWith(withTail, nullptr, 0, 140000);
  SimCountedReader reader(h.platform);
  reader.maxChunk = 1;
  DecodeOutcome careful =
      h.DecodeToMemoryWith(stream, &reader, static_cast<uint32_t>(stream.size()), 140000);
  ASSERT_EQ(fast.entryResult, DECODE_OK);
  ASSERT_EQ(careful.entryResult, DECODE_OK);
  EXPECT_TRUE(std::equal(b.expected.begin(), b.expected.end(), fast.bytes.begin()));
  EXPECT_TRUE(fast.bytes == careful.bytes);
}

}  // namespace
}  // namespace setup
