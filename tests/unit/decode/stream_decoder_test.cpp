// Streams assembled bit by bit, for the format's details and edge cases.
#include "decode/stream_decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "tools/streamwriter/bit_writer.h"
#include "unit/support/decode_harness.h"

namespace setup {
namespace {

using test::DecodeHarness;
using test::DecodeOutcome;
using tools::BitWriter;

constexpr uint32_t kFixed = 5, kDynamic = 6, kStored = 7, kFinal = 8;

// Fixed literal/length code of a symbol, written first bit first.
void FixedSymbol(BitWriter& w, unsigned symbol) {
  if (symbol < 144) w.Code(0x30 + symbol, 8);
  else if (symbol < 256) w.Code(0x190 + symbol - 144, 9);
  else if (symbol < 280) w.Code(symbol - 256, 7);
  else w.Code(0xC0 + symbol - 280, 8);
}

void FixedDistance(BitWriter& w, unsigned code) { w.Code(code, 5); }

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

}  // namespace
}  // namespace setup
