#include "decode/decode_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

class DecodeTableTest : public ::testing::Test {
 protected:
  void SetUp() override { platform.AddDrive('C', 1 << 20); }
  int Build(const std::vector<uint8_t>& lengths, unsigned simple, int width) {
    width_ = width;
    FreeDecodeTable(platform, &table_);
    return BuildDecodeTable(platform, lengths.data(), static_cast<unsigned>(lengths.size()),
                            simple, bases_, extras_, &table_, &width_);
  }
  void TearDown() override {
    FreeDecodeTable(platform, &table_);
    EXPECT_EQ(platform.OutstandingBlocks(), 0u);
  }
  // Follows the code `bits` (first bit lowest) through the tables.
  DecodeEntry Lookup(uint32_t bits) const {
    DecodeEntry e = table_[bits & ((1u << width_) - 1)];
    while (e.op > kOpLinkBase && e.op != kOpInvalid) {
      bits >>= e.bits;
      e = table_[e.value + (bits & ((1u << (e.op - kOpLinkBase)) - 1))];
    }
    return e;
  }

  SimPlatform platform;
  DecodeEntry* table_ = nullptr;
  int width_ = 0;
  uint16_t bases_[4] = {10, 20, 30, 40};
  uint8_t extras_[4] = {0, 1, 2, 3};
};

TEST_F(DecodeTableTest, AllZeroLengthsGiveNoTable) {
  EXPECT_EQ(Build({0, 0, 0}, 3, 7), TABLE_OK);
  EXPECT_EQ(table_, nullptr);
  EXPECT_EQ(width_, 0);
}

TEST_F(DecodeTableTest, WidthIsBoundedByShortestAndLongestCode) {
  EXPECT_EQ(Build({2, 2, 2, 2}, 4, 9), TABLE_OK);
  EXPECT_EQ(width_, 2);
  EXPECT_EQ(Build({1, 2, 3, 3}, 4, 9), TABLE_OK);
  EXPECT_EQ(width_, 3);
}

TEST_F(DecodeTableTest, CanonicalCodesAreBitReversed) {
  // Lengths 1, 2, 3, 3: codes 0, 10, 110, 111; read first bit first.
  ASSERT_EQ(Build({1, 2, 3, 3}, 4, 3), TABLE_OK);
  EXPECT_EQ(Lookup(0b000).value, 0);
  EXPECT_EQ(Lookup(0b001).value, 1);  // code 10 arrives as bits 1, 0
  EXPECT_EQ(Lookup(0b011).value, 2);
  EXPECT_EQ(Lookup(0b111).value, 3);
  EXPECT_EQ(Lookup(0b001).bits, 2);
  EXPECT_EQ(Lookup(0b111).op, kOpLiteral);
}

TEST_F(DecodeTableTest, SymbolsBeyondSimpleUseBasesAndExtras) {
  ASSERT_EQ(Build({2, 2, 2, 2}, 2, 2), TABLE_OK);
  EXPECT_EQ(Lookup(0b00).op, kOpLiteral);
  EXPECT_EQ(Lookup(0b11).op, 1);       // symbol 3 = simple + 1: extras[1]
  EXPECT_EQ(Lookup(0b11).value, 20);   // bases[1]
}

TEST_F(DecodeTableTest, Symbol256IsEndOfBlock) {
  std::vector<uint8_t> lengths(257, 0);
  lengths[65] = 1;
  lengths[256] = 1;
  ASSERT_EQ(Build(lengths, 257, 9), TABLE_OK);
  EXPECT_EQ(Lookup(0).op, kOpLiteral);
  EXPECT_EQ(Lookup(0).value, 65);
  EXPECT_EQ(Lookup(1).op, kOpEndOfBlock);
}

TEST_F(DecodeTableTest, OversubscribedIsRejected) {
  EXPECT_EQ(Build({1, 1, 1}, 3, 7), TABLE_OVERSUBSCRIBED);
  EXPECT_EQ(table_, nullptr);
  EXPECT_EQ(Build({2, 2, 2, 2, 2}, 5, 7), TABLE_OVERSUBSCRIBED);
}

TEST_F(DecodeTableTest, IncompleteCodeIsBuiltWithInvalidPatterns) {
  ASSERT_EQ(Build({2, 2, 2}, 3, 7), TABLE_INCOMPLETE);
  ASSERT_NE(table_, nullptr);
  EXPECT_EQ(Lookup(0b11).op, kOpInvalid);
}

TEST_F(DecodeTableTest, IncompleteCodeTooSparseForATableIsIncomplete) {
  // With a narrow first level the 16-bit codes would need sub-tables beyond
  // what an entry can address; the code is incomplete all the same.
  for (int width = 1; width <= 12; ++width) {
    EXPECT_EQ(Build({5, 0, 13, 0, 16, 16, 8, 0, 0, 0, 0}, 11, width), TABLE_INCOMPLETE) << width;
  }
}

TEST_F(DecodeTableTest, LoneCodeOfLengthOneCountsAsComplete) {
  ASSERT_EQ(Build({0, 1, 0}, 3, 6), TABLE_OK);
  EXPECT_EQ(Lookup(0).value, 1);
  EXPECT_EQ(Lookup(1).op, kOpInvalid);
  // A lone longer code is incomplete.
  EXPECT_EQ(Build({0, 2, 0}, 3, 6), TABLE_INCOMPLETE);
}

TEST_F(DecodeTableTest, LongCodesGoThroughSubTables) {
  // Symbol 0 has the 1-bit code 0; symbols 1-128 the 8-bit codes 10000000 to
  // 11111111. A first-level width of 7 sends every 8-bit code to a sub-table.
  std::vector<uint8_t> lengths(129, 8);
  lengths[0] = 1;
  ASSERT_EQ(Build(lengths, 129, 7), TABLE_OK);
  EXPECT_EQ(width_, 7);
  auto reversed = [](uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i) r |= ((code >> i) & 1) << (len - 1 - i);
    return r;
  };
  EXPECT_EQ(Lookup(0).value, 0);
  for (uint32_t symbol = 1; symbol <= 128; ++symbol) {
    DecodeEntry e = Lookup(reversed(127 + symbol, 8));
    EXPECT_EQ(e.op, kOpLiteral);
    EXPECT_EQ(e.value, symbol);
    EXPECT_EQ(e.bits, 1);  // the bit left after the 7-bit first level
  }
}

TEST_F(DecodeTableTest, FirstLevelNeverWiderThanAsked) {
  // Codes 0, 10, 11 with a one-bit first level: the two-bit codes need a
  // sub-table, and the first level stays one bit wide.
  ASSERT_EQ(Build({1, 2, 2}, 3, 1), TABLE_OK);
  EXPECT_EQ(width_, 1);
  EXPECT_EQ(Lookup(0b0).value, 0);
  EXPECT_EQ(Lookup(0b01).value, 1);
  EXPECT_EQ(Lookup(0b11).value, 2);
}

TEST_F(DecodeTableTest, NoMemoryIsReported) {
  platform.allocationFails = [](uint32_t) { return true; };
  EXPECT_EQ(Build({1, 1}, 2, 7), TABLE_NO_MEMORY);
  EXPECT_EQ(table_, nullptr);
  EXPECT_EQ(platform.heapCompactions, 1);
}

}  // namespace
}  // namespace setup
