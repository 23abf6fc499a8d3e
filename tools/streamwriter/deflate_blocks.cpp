// A plain RFC 1951 reader in the manner of zlib's puff: codes are decoded a bit
// at a time from counts per length, which is slow but short and exact. It
// keeps what it reads instead of producing output.
#include "tools/streamwriter/deflate_blocks.h"

#include <algorithm>
#include <cstring>

namespace setup::tools {

namespace {

constexpr unsigned kMaxBits = 15;

class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& data) : data_(data) {}
  bool Bits(unsigned count, uint32_t* value) {
    uint32_t v = 0;
    for (unsigned i = 0; i < count; ++i) {
      if (pos_ >= data_.size() * 8) return false;
      v |= static_cast<uint32_t>((data_[pos_ >> 3] >> (pos_ & 7)) & 1) << i;
      ++pos_;
    }
    *value = v;
    return true;
  }
  void Align() { pos_ = (pos_ + 7) & ~size_t{7}; }
  size_t BytePos() const { return pos_ / 8; }
  void SkipBytes(size_t n) { pos_ += n * 8; }
  size_t size() const { return data_.size(); }
  const uint8_t* at(size_t byte) const { return data_.data() + byte; }

 private:
  const std::vector<uint8_t>& data_;
  size_t pos_ = 0;
};

struct Huffman {
  uint16_t count[kMaxBits + 1] = {};
  uint16_t symbol[288] = {};

  // False for over-subscribed lengths. Incomplete codes are allowed here; a
  // pattern with no symbol fails when it is met.
  bool Build(const uint8_t* lengths, unsigned n) {
    std::memset(count, 0, sizeof count);
    for (unsigned i = 0; i < n; ++i) ++count[lengths[i]];
    int left = 1;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
      left <<= 1;
      left -= count[len];
      if (left < 0) return false;
    }
    uint16_t offs[kMaxBits + 1] = {};
    for (unsigned len = 1; len < kMaxBits; ++len) offs[len + 1] = offs[len] + count[len];
    for (unsigned i = 0; i < n; ++i) {
      if (lengths[i] != 0) symbol[offs[lengths[i]]++] = static_cast<uint16_t>(i);
    }
    return true;
  }

  bool Decode(BitReader& in, uint16_t* out) const {
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
      uint32_t bit;
      if (!in.Bits(1, &bit)) return false;
      code |= static_cast<int>(bit);
      int c = count[len];
      if (code - c < first) {
        *out = symbol[index + (code - first)];
        return true;
      }
      index += c;
      first += c;
      first <<= 1;
      code <<= 1;
    }
    return false;
  }
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

bool ReadSymbols(BitReader& in, const Huffman& literals, const Huffman& distances,
                 DeflateBlock* block, std::string* error) {
  for (;;) {
    CodedSymbol s{};
    if (!literals.Decode(in, &s.symbol)) {
      *error = "bad literal/length code";
      return false;
    }
    if (s.symbol < 256) {
      block->symbols.push_back(s);
      continue;
    }
    if (s.symbol == 256) {
      block->symbols.push_back(s);
      return true;
    }
    if (s.symbol > 285) {
      *error = "invalid length symbol";
      return false;
    }
    uint32_t extra = 0;
    if (!in.Bits(kLengthExtra[s.symbol - 257], &extra)) {
      *error = "stream ends in a length";
      return false;
    }
    s.extra = static_cast<uint16_t>(extra);
    if (!distances.Decode(in, &s.distance) || s.distance > 29) {
      *error = "bad distance code";
      return false;
    }
    if (!in.Bits(kDistanceExtra[s.distance], &extra)) {
      *error = "stream ends in a distance";
      return false;
    }
    s.distanceExtra = static_cast<uint16_t>(extra);
    block->symbols.push_back(s);
  }
}

bool ReadDynamicHeader(BitReader& in, DeflateBlock* block, std::string* error) {
  uint32_t hlit, hdist, hclen;
  if (!in.Bits(5, &hlit) || !in.Bits(5, &hdist) || !in.Bits(4, &hclen)) {
    *error = "stream ends in a block header";
    return false;
  }
  block->literalCount = hlit + 257;
  block->distanceCount = hdist + 1;
  if (block->literalCount > 286 || block->distanceCount > 30) {
    *error = "too many code lengths";
    return false;
  }
  for (unsigned i = 0; i < hclen + 4; ++i) {
    uint32_t len;
    if (!in.Bits(3, &len)) {
      *error = "stream ends in code lengths";
      return false;
    }
    block->codeLengthLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(len);
  }
  Huffman lengthCode;
  if (!lengthCode.Build(block->codeLengthLengths, 19)) {
    *error = "over-subscribed code-length code";
    return false;
  }
  unsigned total = block->literalCount + block->distanceCount;
  std::vector<uint8_t> lengths;
  while (lengths.size() < total) {
    CodedSymbol s{};
    if (!lengthCode.Decode(in, &s.symbol)) {
      *error = "bad code-length code";
      return false;
    }
    uint32_t extra = 0;
    unsigned repeat = 1;
    uint8_t value = static_cast<uint8_t>(s.symbol);
    if (s.symbol == 16) {
      if (lengths.empty()) {
        *error = "repeat with no previous length";
        return false;
      }
      if (!in.Bits(2, &extra)) return false;
      repeat = 3 + extra;
      value = lengths.back();
    } else if (s.symbol == 17) {
      if (!in.Bits(3, &extra)) return false;
      repeat = 3 + extra;
      value = 0;
    } else if (s.symbol == 18) {
      if (!in.Bits(7, &extra)) return false;
      repeat = 11 + extra;
      value = 0;
    }
    s.extra = static_cast<uint16_t>(extra);
    if (lengths.size() + repeat > total) {
      *error = "code lengths run past their end";
      return false;
    }
    lengths.insert(lengths.end(), repeat, value);
    block->lengthRuns.push_back(s);
  }
  block->literalLengths.assign(lengths.begin(), lengths.begin() + block->literalCount);
  block->distanceLengths.assign(lengths.begin() + block->literalCount, lengths.end());
  return true;
}

}  // namespace

std::optional<std::vector<DeflateBlock>> ParseDeflate(const std::vector<uint8_t>& data,
                                                      std::string* error) {
  std::vector<DeflateBlock> blocks;
  BitReader in(data);
  for (;;) {
    DeflateBlock block;
    uint32_t final, type;
    if (!in.Bits(1, &final) || !in.Bits(2, &type)) {
      *error = "stream ends before its final block";
      return std::nullopt;
    }
    block.final = final != 0;
    if (type == 0) {
      block.type = BlockType::Stored;
      in.Align();
      uint32_t len, nlen;
      if (!in.Bits(16, &len) || !in.Bits(16, &nlen) || (len ^ 0xFFFF) != nlen) {
        *error = "bad stored block length";
        return std::nullopt;
      }
      if (in.BytePos() + len > in.size()) {
        *error = "stored block runs past the end";
        return std::nullopt;
      }
      block.stored.assign(in.at(in.BytePos()), in.at(in.BytePos()) + len);
      in.SkipBytes(len);
    } else if (type == 1 || type == 2) {
      block.type = type == 1 ? BlockType::Fixed : BlockType::Dynamic;
      if (type == 1) {
        block.literalLengths.assign(288, 8);
        std::fill(block.literalLengths.begin() + 144, block.literalLengths.begin() + 256, 9);
        std::fill(block.literalLengths.begin() + 256, block.literalLengths.begin() + 280, 7);
        block.distanceLengths.assign(30, 5);
      } else if (!ReadDynamicHeader(in, &block, error)) {
        if (error->empty()) *error = "stream ends in code lengths";
        return std::nullopt;
      }
      Huffman literals, distances;
      if (!literals.Build(block.literalLengths.data(),
                          static_cast<unsigned>(block.literalLengths.size())) ||
          !distances.Build(block.distanceLengths.data(),
                           static_cast<unsigned>(block.distanceLengths.size()))) {
        *error = "over-subscribed code";
        return std::nullopt;
      }
      if (!ReadSymbols(in, literals, distances, &block, error)) return std::nullopt;
    } else {
      *error = "invalid block type 3";
      return std::nullopt;
    }
    blocks.push_back(std::move(block));
    if (final) return blocks;
  }
}

}  // namespace setup::tools
