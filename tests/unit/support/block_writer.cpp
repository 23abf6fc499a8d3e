#include "unit/support/block_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace setup::test {

// clang-format off
const uint16_t kLengthBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43,
                                  51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
                                    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145,
                                    8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

const uint8_t kCodeLengthOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6,
                                      7, 8, 9, 10, 11, 12, 13, 14, 15};
const uint8_t kRfc1951Order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                   11, 4, 12, 3, 13, 2, 14, 1, 15};
// clang-format on

Huffman::Huffman(std::vector<uint8_t> lengths) : lengths_(std::move(lengths)) {
  // RFC 1951 section 3.2.2: count per length, first code per length, then
  // consecutive codes in symbol order.
  unsigned count[17] = {};
  for (uint8_t len : lengths_) ++count[len];
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (unsigned len = 1; len <= 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  codes_.assign(lengths_.size(), 0);
  for (size_t i = 0; i < lengths_.size(); ++i) {
    if (lengths_[i] != 0) codes_[i] = next[lengths_[i]]++;
  }
}

void Huffman::Put(BitWriter& w, unsigned symbol) const {
  if (symbol >= lengths_.size() || lengths_[symbol] == 0) {
    ADD_FAILURE() << "test stream uses symbol " << symbol << ", which has no code";
    return;
  }
  w.Code(codes_[symbol], lengths_[symbol]);
}

Huffman FixedLiteralCode() {
  std::vector<uint8_t> lengths(288);
  for (unsigned s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return Huffman(std::move(lengths));
}

Huffman FixedDistanceCode() { return Huffman(std::vector<uint8_t>(30, 5)); }

SymbolAndExtra LengthSymbol(unsigned length) {
  EXPECT_TRUE(length >= 3 && length <= 258) << length;
  unsigned i = 28;
  while (i > 0 && kLengthBase[i] > length) --i;
  return {257 + i, length - kLengthBase[i], kLengthExtra[i]};
}

SymbolAndExtra DistanceCode(unsigned distance) {
  EXPECT_TRUE(distance >= 1 && distance <= 32768) << distance;
  unsigned i = 29;
  while (i > 0 && kDistanceBase[i] > distance) --i;
  return {i, distance - kDistanceBase[i], kDistanceExtra[i]};
}

void WriteDynamicHeader(BitWriter& w, unsigned literalCount, unsigned distanceCount,
                        const std::array<uint8_t, 19>& codeLengthLengths,
                        const std::vector<LengthRun>& runs, const uint8_t* order,
                        unsigned sent) {
  if (sent == 0) {
    sent = 19;
    while (sent > 4 && codeLengthLengths[order[sent - 1]] == 0) --sent;
  }
  w.Bits(literalCount - 257, 5);
  w.Bits(distanceCount - 1, 5);
  w.Bits(sent - 4, 4);
  for (unsigned i = 0; i < sent; ++i) w.Bits(codeLengthLengths[order[i]], 3);
  Huffman code(std::vector<uint8_t>(codeLengthLengths.begin(), codeLengthLengths.end()));
  for (const LengthRun& run : runs) {
    code.Put(w, run.symbol);
    if (run.symbol == 16) w.Bits(run.extra, 2);
    if (run.symbol == 17) w.Bits(run.extra, 3);
    if (run.symbol == 18) w.Bits(run.extra, 7);
  }
}

std::array<uint8_t, 19> PlainCodeLengthLengths() {
  std::array<uint8_t, 19> lengths{};
  for (unsigned s = 0; s < 16; ++s) lengths[s] = 4;
  return lengths;
}

std::vector<LengthRun> PlainRuns(const std::vector<uint8_t>& literal,
                                 const std::vector<uint8_t>& distance) {
  std::vector<LengthRun> runs;
  for (uint8_t len : literal) runs.push_back({len});
  for (uint8_t len : distance) runs.push_back({len});
  return runs;
}

StreamBuilder::StreamBuilder() = default;

void StreamBuilder::Fixed(bool final) {
  bits.Bits(kFixed | (final ? kFinal : 0), 4);
  UseCodes(FixedLiteralCode(), FixedDistanceCode());
}

void StreamBuilder::Dynamic(bool final, const Huffman& literals, const Huffman& distances) {
  bits.Bits(kDynamic | (final ? kFinal : 0), 4);
  WriteDynamicHeader(bits, static_cast<unsigned>(literals.lengths().size()),
                     static_cast<unsigned>(distances.lengths().size()), PlainCodeLengthLengths(),
                     PlainRuns(literals.lengths(), distances.lengths()));
  UseCodes(literals, distances);
}

void StreamBuilder::UseCodes(const Huffman& literals, const Huffman& distances) {
  literals_ = literals;
  distances_ = distances;
}

void StreamBuilder::Stored(const std::vector<uint8_t>& data, bool final) {
  bits.Bits(kStored | (final ? kFinal : 0), 4);
  bits.Align();
  bits.Bits(static_cast<uint32_t>(data.size()), 16);
  for (uint8_t b : data) bits.Bits(b, 8);
  expected.insert(expected.end(), data.begin(), data.end());
}

void StreamBuilder::Literal(uint8_t byte) {
  literals_.Put(bits, byte);
  expected.push_back(byte);
}

void StreamBuilder::Literals(const std::vector<uint8_t>& data) {
  for (uint8_t b : data) Literal(b);
}

void StreamBuilder::Match(unsigned length, unsigned distance) {
  SymbolAndExtra len = LengthSymbol(length);
  SymbolAndExtra dist = DistanceCode(distance);
  literals_.Put(bits, len.symbol);
  bits.Bits(len.extra, len.extraBits);
  distances_.Put(bits, dist.symbol);
  bits.Bits(dist.extra, dist.extraBits);
  for (unsigned i = 0; i < length; ++i) {
    size_t n = expected.size();
    expected.push_back(n >= distance ? expected[n - distance] : 0);
  }
}

void StreamBuilder::Repeat(uint32_t count) {
  EXPECT_GE(count, 3u);
  while (count > 0) {
    unsigned length = count > 258 ? 258 : count;
    if (count > 258 && count - 258 < 3) length = 255;  // leave at least 3 for the last match
    Match(length, 1);
    count -= length;
  }
}

void StreamBuilder::End() { literals_.Put(bits, 256); }

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng() >> 24);
  return out;
}

}  // namespace setup::test
