// Raw DEFLATE (RFC 1951) parsed into blocks, with every symbol and every field
// kept, so that a block can be written out again in another bit layout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace setup::tools {

struct CodedSymbol {
  uint16_t symbol;  // literal/length symbol (0-287), or code-length symbol (0-18)
  uint16_t extra;   // value of its extra bits
  uint16_t distance = 0;       // for a length symbol: distance symbol (0-29)
  uint16_t distanceExtra = 0;
};

enum class BlockType { Stored, Fixed, Dynamic };

struct DeflateBlock {
  BlockType type = BlockType::Stored;
  bool final = false;
  std::vector<uint8_t> stored;  // Stored
  // Dynamic: the code lengths and the run-length coded sequence that sent them.
  unsigned literalCount = 0;   // HLIT + 257
  unsigned distanceCount = 0;  // HDIST + 1
  uint8_t codeLengthLengths[19] = {};  // by code-length symbol
  std::vector<CodedSymbol> lengthRuns;
  std::vector<uint8_t> literalLengths;   // literalCount entries (288 for fixed)
  std::vector<uint8_t> distanceLengths;  // distanceCount entries (30 for fixed)
  // Fixed and Dynamic: the symbols, ending with 256.
  std::vector<CodedSymbol> symbols;
};

// Parses a complete raw DEFLATE stream; nullopt (with a reason) when it is
// not one.
std::optional<std::vector<DeflateBlock>> ParseDeflate(const std::vector<uint8_t>& data,
                                                      std::string* error);

}  // namespace setup::tools
