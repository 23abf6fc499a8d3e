// Writes a bit stream the way the package's stream format packs it: fields
// least significant bit first, Huffman codes most significant bit first.
#pragma once

#include <cstdint>
#include <vector>

namespace setup::tools {

class BitWriter {
 public:
  // Appends the low `count` bits of `value` (count at most 32).
  void Bits(uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
      if (bitPos_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(1u << bitPos_);
      bitPos_ = (bitPos_ + 1) & 7;
    }
  }
  // Appends a Huffman code of `length` bits, first bit its most significant.
  void Code(uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) Bits((code >> i) & 1, 1);
  }
  // Pads with zero bits to the next byte boundary.
  void Align() { bitPos_ = 0; }
  void Byte(uint8_t b) {
    Align();
    bytes_.push_back(b);
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  unsigned bitPos_ = 0;
};

// Canonical Huffman codes for the given lengths (0 = no code).
std::vector<uint32_t> CanonicalCodes(const uint8_t* lengths, unsigned count);

}  // namespace setup::tools
