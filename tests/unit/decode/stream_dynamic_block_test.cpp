// Dynamic-code blocks assembled by hand: the header fields, the order of the
// code-length code lengths, the run-length coded lengths, and which codes are
// accepted. Each rejected block is otherwise well formed, so a decoder that
// let the fault pass would decode it and the test would see that.
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
using test::Huffman;
using test::kDynamic;
using test::kFinal;
using test::LengthRun;
using test::StreamBuilder;

using CodeLengths = std::array<uint8_t, 19>;

CodeLengths CodeLengthCode(std::initializer_list<std::pair<unsigned, uint8_t>> lengths) {
  CodeLengths out{};
  for (auto [symbol, length] : lengths) out[symbol] = length;
  return out;
}

std::vector<uint8_t> Lengths(unsigned count,
                             std::initializer_list<std::pair<unsigned, uint8_t>> set) {
  std::vector<uint8_t> out(count, 0);
  for (auto [symbol, length] : set) out.at(symbol) = length;
  return out;
}

class StreamDecoderDynamicTest : public ::testing::TestWithParam<Feed> {
 protected:
  DecodeOutcome Run(const std::vector<uint8_t>& stream) {
    DecodeHarness h;
    return h.DecodeFed(stream, GetParam());
  }
  void ExpectDecodes(const StreamBuilder& b) {
    DecodeOutcome out = Run(b.Bytes());
    EXPECT_EQ(out.entryResult, DECODE_OK) << "stream result " << out.streamResult;
    EXPECT_TRUE(out.bytes == b.expected) << out.bytes.size() << " bytes";
    EXPECT_EQ(out.positionAfter, b.Bytes().size());
  }
  void ExpectFails(const std::vector<uint8_t>& stream, int streamResult) {
    DecodeOutcome out = Run(stream);
    EXPECT_EQ(out.entryResult, DECODE_FAILED);
    EXPECT_EQ(out.streamResult, streamResult);
  }
};

INSTANTIATE_TEST_SUITE_P(StreamDecoder, StreamDecoderDynamicTest,
                         ::testing::Values(Feed::File, Feed::FileWithTail, Feed::Trickle,
                                           Feed::Memory, Feed::MemoryTrickle),
                         [](const auto& info) { return test::FeedName(info.param); });

// A dynamic block with these codes (lengths sent plainly) holding "ab", a
// match when there is a distance code, and the end of block; the caller
// decides which of those symbols the codes have.
StreamBuilder BlockWith(const std::vector<uint8_t>& literal, const std::vector<uint8_t>& distance,
                        bool match = true) {
  StreamBuilder b;
  b.Dynamic(true, Huffman(literal), Huffman(distance));
  b.Literal('a');
  b.Literal('b');
  if (match) b.Match(3, 1);
  b.End();
  return b;
}

// Literal code: 'a' and 'b' 2 bits, end of block 2 bits, length symbol 257
// (length 3) 2 bits.
std::vector<uint8_t> SmallLiterals(unsigned count = 258) {
  return Lengths(count, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});
}

TEST_P(StreamDecoderDynamicTest, BlocksWithPlainlySentLengthsDecode) {
  StreamBuilder b;
  b.Dynamic(false, Huffman(SmallLiterals()), Huffman(Lengths(2, {{0, 1}, {1, 1}})));
  b.Literal('a');
  b.Literal('b');
  b.Match(3, 2);
  b.Match(3, 1);
  b.End();
  // A second dynamic block with other codes; its matches reach into the first.
  b.Dynamic(true, Huffman(Lengths(286, {{'c', 1}, {256, 2}, {285, 2}})),
            Huffman(Lengths(30, {{3, 1}, {29, 1}})));
  b.Literal('c');
  b.Match(258, 4);
  b.Match(258, 32768);
  b.End();
  ExpectDecodes(b);
}

// ---------------------------------------------------------------------------
// Code-length code

// Literal/length code: 'a', 'b', 256 two bits, 255 and 257 three bits; four
// distance codes of two bits. The lengths are sent with all six code-length
// symbols below.
void WriteOrderTestBlock(BitWriter& w, const uint8_t* order) {
  w.Bits(kDynamic | kFinal, 4);
  CodeLengths clc = CodeLengthCode({{18, 2}, {2, 2}, {3, 3}, {0, 3}, {16, 3}, {17, 3}});
  test::WriteDynamicHeader(w, 258, 4, clc,
                           {{18, 86},          // 0-96: 97 zeros
                            {2}, {2},          // 'a', 'b'
                            {18, 127},         // 99-236
                            {18, 4}, {17, 0},  // 237-254
                            {3}, {2}, {3},     // 255, 256, 257
                            {2}, {16, 0}},     // four distance codes
                           order);
  Huffman literals(Lengths(258, {{'a', 2}, {'b', 2}, {255, 3}, {256, 2}, {257, 3}}));
  Huffman distances(Lengths(4, {{0, 2}, {1, 2}, {2, 2}, {3, 2}}));
  literals.Put(w, 'a');
  literals.Put(w, 'b');
  literals.Put(w, 255);
  literals.Put(w, 257);
  distances.Put(w, 1);  // distance 2
  literals.Put(w, 257);
  distances.Put(w, 3);  // distance 4
  literals.Put(w, 256);
}

TEST_P(StreamDecoderDynamicTest, CodeLengthCodeLengthsComeInOrder18_17_16_0To15) {
  BitWriter ours;
  WriteOrderTestBlock(ours, test::kCodeLengthOrder);
  DecodeOutcome out = Run(ours.bytes());
  ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
  EXPECT_EQ(out.bytes, (std::vector<uint8_t>{'a', 'b', 255, 'b', 255, 'b', 255, 'b', 255}));

  BitWriter rfc;
  WriteOrderTestBlock(rfc, test::kRfc1951Order);
  out = Run(rfc.bytes());
  EXPECT_FALSE(out.entryResult == DECODE_OK &&
               out.bytes == std::vector<uint8_t>({'a', 'b', 255, 'b', 255, 'b', 255, 'b', 255}))
      << "a block written in the RFC 1951 order decoded as intended";
}

TEST_P(StreamDecoderDynamicTest, CodeLengthLengthsNotSentAreZero) {
  // HCLEN 1: lengths for 18, 17, 16, 0 and 1 only.
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  CodeLengths clc = CodeLengthCode({{18, 2}, {17, 3}, {16, 3}, {0, 2}, {1, 2}});
  test::WriteDynamicHeader(w, 257, 1, clc,
                           {{18, 86}, {1}, {18, 127}, {18, 9}, {1}, {1}});
  ASSERT_EQ((w.bytes()[1] >> 6) | (w.bytes()[2] & 3) << 2, 1);  // HCLEN as sent
  w.Code(0, 1);  // 'a'
  w.Code(0, 1);
  w.Code(1, 1);  // end of block
  DecodeOutcome out = Run(w.bytes());
  ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
  EXPECT_EQ(out.bytes, (std::vector<uint8_t>{'a', 'a'}));
}

TEST_P(StreamDecoderDynamicTest, IncompleteCodeLengthCodeFailsWithResult1) {
  // Three codes of two bits: one pattern left over.
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  test::WriteDynamicHeader(w, 257, 1, CodeLengthCode({{0, 2}, {1, 2}, {18, 2}}),
                           {{18, 86}, {1}, {18, 127}, {18, 9}, {1}, {1}});
  w.Code(0, 1);
  w.Code(1, 1);
  ExpectFails(w.bytes(), STREAM_BAD_DATA);
}

TEST_P(StreamDecoderDynamicTest, OversubscribedCodeLengthCodeFailsWithResult2) {
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  w.Bits(0, 5);
  w.Bits(0, 5);
  w.Bits(1, 4);  // five lengths: 18, 17, 16, 0, 1
  for (unsigned len : {1, 0, 0, 1, 1}) w.Bits(len, 3);
  w.Bits(0, 32);
  ExpectFails(w.bytes(), STREAM_BAD_BLOCK);
}

TEST_P(StreamDecoderDynamicTest, CodeLengthCodeWithNoCodesFailsWithResult1) {
  for (unsigned sent : {4u, 19u}) {
    SCOPED_TRACE(sent);
    BitWriter w;
    w.Bits(kDynamic | kFinal, 4);
    w.Bits(0, 5);
    w.Bits(0, 5);
    w.Bits(sent - 4, 4);
    for (unsigned i = 0; i < sent; ++i) w.Bits(0, 3);
    for (int i = 0; i < 40; ++i) w.Bits(0x5A, 8);
    ExpectFails(w.bytes(), STREAM_BAD_DATA);
  }
}

// ---------------------------------------------------------------------------
// HLIT and HDIST

TEST_P(StreamDecoderDynamicTest, UpTo286LiteralAnd30DistanceLengthsAreAccepted) {
  ExpectDecodes(BlockWith(SmallLiterals(286), Lengths(30, {{0, 1}})));
  ExpectDecodes(BlockWith(SmallLiterals(258), Lengths(30, {{0, 1}, {29, 1}})));
}

TEST_P(StreamDecoderDynamicTest, Hlit30And31FailWithResult1) {
  for (unsigned count : {287u, 288u}) {
    SCOPED_TRACE(count);
    ExpectFails(BlockWith(SmallLiterals(count), Lengths(1, {{0, 1}})).Bytes(), STREAM_BAD_DATA);
  }
}

TEST_P(StreamDecoderDynamicTest, Hdist30And31FailWithResult1) {
  for (unsigned count : {31u, 32u}) {
    SCOPED_TRACE(count);
    ExpectFails(BlockWith(SmallLiterals(), Lengths(count, {{0, 1}})).Bytes(), STREAM_BAD_DATA);
  }
}

// ---------------------------------------------------------------------------
// Complete, incomplete and over-subscribed codes

TEST_P(StreamDecoderDynamicTest, IncompleteLiteralCodeFailsWithResult1) {
  // 'a' 1 bit, 'b' 3 bits, end of block 3 bits: one 3-bit pattern left over.
  ExpectFails(BlockWith(Lengths(257, {{'a', 1}, {'b', 3}, {256, 3}}), {0}, false).Bytes(),
              STREAM_BAD_DATA);
}

TEST_P(StreamDecoderDynamicTest, OversubscribedLiteralCodeFailsWithResult2) {
  ExpectFails(BlockWith(Lengths(257, {{'a', 1}, {'b', 2}, {256, 2}, {'c', 2}}), {0}, false).Bytes(),
              STREAM_BAD_BLOCK);
}

TEST_P(StreamDecoderDynamicTest, DistanceCodeOfOneLengthOneCodeIsAccepted) {
  for (unsigned code : {0u, 5u, 29u}) {
    SCOPED_TRACE(code);
    StreamBuilder b;
    b.Dynamic(true, Huffman(SmallLiterals()), Huffman(Lengths(30, {{code, 1}})));
    b.Literal('a');
    b.Literal('b');
    for (int i = 0; i < 3; ++i) b.Match(3, test::kDistanceBase[code] + i % 2 * (code != 0));
    b.End();
    ExpectDecodes(b);
  }
}

TEST_P(StreamDecoderDynamicTest, UnusedPatternOfALoneDistanceCodeFailsWithResult1) {
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  Huffman literals(SmallLiterals());
  test::WriteDynamicHeader(w, 258, 1, test::PlainCodeLengthLengths(),
                           test::PlainRuns(literals.lengths(), {1}));
  literals.Put(w, 'a');
  literals.Put(w, 257);
  w.Code(1, 1);  // the lone distance code is 0
  literals.Put(w, 256);
  ExpectFails(w.bytes(), STREAM_BAD_DATA);
}

TEST_P(StreamDecoderDynamicTest, IncompleteDistanceCodeFailsWithResult1) {
  ExpectFails(BlockWith(SmallLiterals(), {2}).Bytes(), STREAM_BAD_DATA);
  ExpectFails(BlockWith(SmallLiterals(), {1, 2}).Bytes(), STREAM_BAD_DATA);
}

TEST_P(StreamDecoderDynamicTest, OversubscribedDistanceCodeFailsWithResult2) {
  ExpectFails(BlockWith(SmallLiterals(), {1, 1, 1}).Bytes(), STREAM_BAD_BLOCK);
}

TEST_P(StreamDecoderDynamicTest, EmptyDistanceCodeServesLiteralsButNoMatch) {
  ExpectDecodes(BlockWith(SmallLiterals(), {0}, false));
  for (unsigned distanceCount : {1u, 30u}) {
    SCOPED_TRACE(distanceCount);
    BitWriter w;
    w.Bits(kDynamic | kFinal, 4);
    Huffman literals(SmallLiterals());
    test::WriteDynamicHeader(w, 258, distanceCount, test::PlainCodeLengthLengths(),
                             test::PlainRuns(literals.lengths(),
                                             std::vector<uint8_t>(distanceCount, 0)));
    literals.Put(w, 'a');
    literals.Put(w, 257);
    w.Bits(0, 5);  // whatever a distance code would be
    literals.Put(w, 256);
    ExpectFails(w.bytes(), STREAM_BAD_DATA);
  }
}

TEST_P(StreamDecoderDynamicTest, EmptyLiteralCodeFailsWithResult1) {
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  test::WriteDynamicHeader(w, 257, 1, test::PlainCodeLengthLengths(),
                           test::PlainRuns(std::vector<uint8_t>(257, 0), {1}));
  for (int i = 0; i < 20; ++i) w.Bits(0, 8);
  ExpectFails(w.bytes(), STREAM_BAD_DATA);
}

TEST_P(StreamDecoderDynamicTest, CodesUpTo15BitsDecode) {
  // Literals 'a'..'n' take 1 to 14 bits, 'o' and end of block 15; distance
  // codes 0-13 take 1 to 14 bits, 14 and 15 take 15. Every long code goes
  // through sub-tables.
  std::vector<uint8_t> literal(258, 0);
  for (unsigned i = 0; i < 14; ++i) literal['a' + i] = static_cast<uint8_t>(i + 1);
  literal['o'] = 15;
  literal[256] = 15;
  std::vector<uint8_t> withMatches = literal;
  withMatches['n'] = 0;  // its slot goes to length symbol 257
  withMatches[257] = 14;
  std::vector<uint8_t> distance(16, 0);
  for (unsigned i = 0; i < 14; ++i) distance[i] = static_cast<uint8_t>(i + 1);
  distance[14] = distance[15] = 15;

  StreamBuilder b;
  b.Dynamic(false, Huffman(literal), Huffman({0}));
  for (int round = 0; round < 3; ++round) {
    for (char c = 'o'; c >= 'a'; --c) b.Literal(static_cast<uint8_t>(c));
  }
  b.End();
  b.Dynamic(true, Huffman(withMatches), Huffman(distance));
  for (unsigned code = 0; code < 16; ++code) {
    b.Literal('o');
    b.Match(3, test::kDistanceBase[code] + (1u << test::kDistanceExtra[code]) - 1);
  }
  b.End();
  ExpectDecodes(b);
}

// ---------------------------------------------------------------------------
// Run-length coded lengths

// Code-length code for the runs below: 1, 16, 17 and 18, two bits each.
const CodeLengths kRunCode = CodeLengthCode({{1, 2}, {16, 2}, {17, 2}, {18, 2}});

// 257 literal lengths ('a' and 256 one bit) and `distanceCount` distance
// lengths, ending with `tail` in place of the distance lengths.
std::vector<uint8_t> RunBlock(unsigned literalCount, unsigned distanceCount,
                              const std::vector<LengthRun>& head,
                              const std::vector<LengthRun>& tail) {
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  std::vector<LengthRun> runs = head;
  runs.insert(runs.end(), tail.begin(), tail.end());
  test::WriteDynamicHeader(w, literalCount, distanceCount, kRunCode, runs);
  w.Code(0, 1);  // 'a'
  w.Code(0, 1);
  w.Code(1, 1);  // end of block
  return w.Take();
}

// 0-96 zero, 'a' one bit, 98-255 zero, 256 one bit.
const std::vector<LengthRun> kLiteralRuns = {{18, 86}, {1}, {18, 127}, {18, 9}, {1}};

TEST_P(StreamDecoderDynamicTest, RunsThatEndExactlyAtTheLastLengthAreFine) {
  for (const auto& tail : std::vector<std::vector<LengthRun>>{{{1}}, {{1}, {17, 0}}}) {
    SCOPED_TRACE(tail.size());
    DecodeOutcome out = Run(RunBlock(257, tail.size() == 1 ? 1 : 4, kLiteralRuns, tail));
    ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
    EXPECT_EQ(out.bytes, (std::vector<uint8_t>{'a', 'a'}));
  }
}

TEST_P(StreamDecoderDynamicTest, RepeatRunningPastTheLastLengthFailsWithResult1) {
  // Each tail starts at the first distance length and its last run goes two
  // or more past the end. Cut off at the end, every one would be a usable code.
  struct Case {
    unsigned distanceCount;
    std::vector<LengthRun> tail;
  };
  for (const Case& c : std::vector<Case>{{1, {{16, 0}}},
                                         {1, {{17, 0}}},
                                         {1, {{18, 0}}},
                                         {2, {{1}, {16, 0}}},
                                         {3, {{1}, {1}, {17, 0}}}}) {
    SCOPED_TRACE(c.tail.size());
    ExpectFails(RunBlock(257, c.distanceCount, kLiteralRuns, c.tail), STREAM_BAD_DATA);
  }
}

TEST_P(StreamDecoderDynamicTest, Symbol16AsTheFirstRunRepeatsLength0) {
  // Lengths 0-5 by symbol 16 (six times the previous length), then as usual.
  std::vector<LengthRun> head = {{16, 3}, {18, 80}, {1}, {18, 127}, {18, 9}, {1}};
  DecodeOutcome out = Run(RunBlock(257, 1, head, {{1}}));
  ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
  EXPECT_EQ(out.bytes, (std::vector<uint8_t>{'a', 'a'}));
}

TEST_P(StreamDecoderDynamicTest, PreviousLengthStartsAt0InEveryBlock) {
  // Two blocks with the same header: the first ends its lengths with a 1,
  // the second starts them with symbol 16.
  std::vector<LengthRun> runs = {{16, 3}, {18, 80}, {1}, {18, 127}, {18, 9}, {1}, {1}};
  BitWriter w;
  for (uint32_t header : {uint32_t{kDynamic}, kDynamic | kFinal}) {
    w.Bits(header, 4);
    test::WriteDynamicHeader(w, 257, 1, kRunCode, runs);
    w.Code(0, 1);  // 'a'
    w.Code(1, 1);  // end of block
  }
  DecodeOutcome out = Run(w.bytes());
  ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
  EXPECT_EQ(out.bytes, (std::vector<uint8_t>{'a', 'a'}));
}

TEST_P(StreamDecoderDynamicTest, Symbols17And18MakeThePreviousLength0) {
  // 'a' = 97 has one bit; a zero run follows, then symbol 16, which must
  // repeat 0 (repeating 1 would over-subscribe the code).
  for (LengthRun zeros : {LengthRun{17, 0}, LengthRun{18, 0}}) {
    SCOPED_TRACE(zeros.symbol);
    unsigned run = zeros.symbol == 17 ? 3 : 11;
    unsigned rest = 256 - (98 + run + 3);  // zeros up to 255
    std::vector<LengthRun> head = {{18, 86}, {1}, zeros, {16, 0}, {18, 127}};
    head.push_back(rest - 138 >= 11 ? LengthRun{18, rest - 138 - 11}
                                    : LengthRun{17, rest - 138 - 3});
    head.push_back({1});
    DecodeOutcome out = Run(RunBlock(257, 1, head, {{1}}));
    ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
    EXPECT_EQ(out.bytes, (std::vector<uint8_t>{'a', 'a'}));
  }
}

TEST_P(StreamDecoderDynamicTest, RunMayCrossFromLiteralIntoDistanceLengths) {
  // Literal symbols 254-257 and distance codes 0-3 all have two bits; one
  // symbol 16 covers 255-257 and distance codes 0 and 1.
  BitWriter w;
  w.Bits(kDynamic | kFinal, 4);
  test::WriteDynamicHeader(w, 258, 4, CodeLengthCode({{2, 1}, {16, 2}, {18, 2}}),
                           {{18, 127}, {18, 105}, {2}, {16, 2}, {2}, {2}});
  Huffman literals(Lengths(258, {{254, 2}, {255, 2}, {256, 2}, {257, 2}}));
  Huffman distances({2, 2, 2, 2});
  literals.Put(w, 254);
  literals.Put(w, 255);
  literals.Put(w, 257);
  distances.Put(w, 1);  // length 3, distance 2
  literals.Put(w, 257);
  distances.Put(w, 3);  // length 3, distance 4
  literals.Put(w, 256);
  DecodeOutcome out = Run(w.bytes());
  ASSERT_EQ(out.entryResult, DECODE_OK) << out.streamResult;
  EXPECT_EQ(out.bytes, (std::vector<uint8_t>{254, 255, 254, 255, 254, 255, 254, 255}));
}

}  // namespace
}  // namespace setup
