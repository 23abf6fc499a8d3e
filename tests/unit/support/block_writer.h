// Hand assembly of compressed streams for the decoder tests: block headers,
// stored blocks, fixed and dynamic codes, and the run-length coded code
// lengths of a dynamic block, each written field by field with BitWriter.
//
// The length and distance tables here are typed in from the format's tables,
// not derived, so that a decoder that derives them wrongly disagrees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/streamwriter/bit_writer.h"

namespace setup::test {

using tools::BitWriter;

// Block header values: type in bits 0-2, final flag in bit 3.
constexpr uint32_t kFixed = 5, kDynamic = 6, kStored = 7, kFinal = 8;

extern const uint16_t kLengthBase[29];    // symbols 257-285
extern const uint8_t kLengthExtra[29];
extern const uint16_t kDistanceBase[30];  // codes 0-29
extern const uint8_t kDistanceExtra[30];

// Position i of the code-length code lengths carries symbol order[i].
extern const uint8_t kCodeLengthOrder[19];  // 18, 17, 16, 0, 1, ..., 15
extern const uint8_t kRfc1951Order[19];     // 16, 17, 18, 0, 8, 7, 9, 6, ...

// A canonical Huffman code given by its lengths (0 = no code).
class Huffman {
 public:
  Huffman() = default;
  explicit Huffman(std::vector<uint8_t> lengths);
  // Writes the code of `symbol`, first bit first; the symbol must have one.
  void Put(BitWriter& w, unsigned symbol) const;
  const std::vector<uint8_t>& lengths() const { return lengths_; }
  uint32_t code(unsigned symbol) const { return codes_.at(symbol); }

 private:
  std::vector<uint8_t> lengths_;
  std::vector<uint32_t> codes_;
};

Huffman FixedLiteralCode();   // 288 lengths
Huffman FixedDistanceCode();  // 30 lengths of 5

// Literal/length symbol and extra bits for a match length of 3-258 (258 is
// symbol 285), and distance code and extra bits for a distance of 1-32768.
struct SymbolAndExtra {
  unsigned symbol;
  uint32_t extra;
  unsigned extraBits;
};
SymbolAndExtra LengthSymbol(unsigned length);
SymbolAndExtra DistanceCode(unsigned distance);

// One code-length symbol of a dynamic header (0-18) with its extra bits.
struct LengthRun {
  unsigned symbol;
  uint32_t extra = 0;
};

// Writes HLIT, HDIST and HCLEN, the code-length code lengths (by symbol, sent
// in `order`; `sent` of them, or 0 for "all up to the last non-zero, at least
// 4") and then the runs coded with that code-length code.
void WriteDynamicHeader(BitWriter& w, unsigned literalCount, unsigned distanceCount,
                        const std::array<uint8_t, 19>& codeLengthLengths,
                        const std::vector<LengthRun>& runs,
                        const uint8_t* order = kCodeLengthOrder, unsigned sent = 0);

// Code-length code in which symbols 0-15 have 4 bits each (a complete code),
// and runs that send every length as itself with it.
std::array<uint8_t, 19> PlainCodeLengthLengths();
std::vector<LengthRun> PlainRuns(const std::vector<uint8_t>& literal,
                                 const std::vector<uint8_t>& distance);

// Writes a stream block by block and keeps the bytes it should decode to.
// A match copies from the expected output, reading zeros before its start.
class StreamBuilder {
 public:
  StreamBuilder();
  void Fixed(bool final);
  // Dynamic block with these codes, their lengths sent plainly.
  void Dynamic(bool final, const Huffman& literals, const Huffman& distances);
  // Starts a dynamic block whose header the caller writes into `bits`; the
  // symbols that follow use these codes.
  void UseCodes(const Huffman& literals, const Huffman& distances);
  void Stored(const std::vector<uint8_t>& data, bool final);

  void Literal(uint8_t byte);
  void Literals(const std::vector<uint8_t>& data);
  void Match(unsigned length, unsigned distance);
  // A run of `count` copies of the last byte (count >= 3), in matches at distance 1.
  void Repeat(uint32_t count);
  void End();

  std::vector<uint8_t> Bytes() const { return bits.bytes(); }

  BitWriter bits;
  std::vector<uint8_t> expected;

 private:
  Huffman literals_;
  Huffman distances_;
};

// Deterministic pseudo-random bytes.
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);

}  // namespace setup::test
