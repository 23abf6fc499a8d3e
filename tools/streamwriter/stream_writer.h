// Writes the package's compressed streams.
//
// Bytes are compressed to raw DEFLATE by libdeflate or zlib, and the DEFLATE
// stream is then rewritten in the package format: the same blocks, codes and
// symbols, with 4-bit block headers (types 5, 6, 7), stored blocks that carry
// only their length, and code-length code lengths sent in the order
// 18, 17, 16, 0, 1, ..., 15.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/streamwriter/deflate_blocks.h"

namespace setup::tools {

enum class Compressor { Libdeflate, Zlib };

struct StreamOptions {
  Compressor compressor = Compressor::Libdeflate;
  int level = 12;  // libdeflate 0-12, zlib 0-9
};

// Raw DEFLATE of `data` by the chosen compressor.
std::vector<uint8_t> CompressDeflate(const uint8_t* data, size_t size,
                                     const StreamOptions& options);

// One stream of the package format holding `data`.
std::vector<uint8_t> WriteStream(const uint8_t* data, size_t size,
                                 const StreamOptions& options = {});

// A raw DEFLATE stream rewritten in the package format; nullopt when the input
// is not a complete DEFLATE stream.
std::optional<std::vector<uint8_t>> TranscodeDeflate(const std::vector<uint8_t>& deflate,
                                                     std::string* error);

// Parsed blocks written in the package format.
std::vector<uint8_t> WriteBlocks(const std::vector<DeflateBlock>& blocks);

}  // namespace setup::tools
