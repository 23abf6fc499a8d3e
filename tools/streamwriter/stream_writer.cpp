#include "tools/streamwriter/stream_writer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <stdexcept>

#include "tools/streamwriter/bit_writer.h"

namespace setup::tools {

namespace {

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Position i of the code-length code lengths carries symbol kOrder[i].
constexpr uint8_t kOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

constexpr uint32_t kTypeFixed = 5;
constexpr uint32_t kTypeDynamic = 6;
constexpr uint32_t kTypeStored = 7;

void WriteSymbols(BitWriter& out, const DeflateBlock& block) {
  std::vector<uint32_t> literalCodes = CanonicalCodes(
      block.literalLengths.data(), static_cast<unsigned>(block.literalLengths.size()));
  std::vector<uint32_t> distanceCodes = CanonicalCodes(
      block.distanceLengths.data(), static_cast<unsigned>(block.distanceLengths.size()));
  for (const CodedSymbol& s : block.symbols) {
    out.Code(literalCodes[s.symbol], block.literalLengths[s.symbol]);
    if (s.symbol <= 256) continue;
    out.Bits(s.extra, kLengthExtra[s.symbol - 257]);
    out.Code(distanceCodes[s.distance], block.distanceLengths[s.distance]);
    out.Bits(s.distanceExtra, kDistanceExtra[s.distance]);
  }
}

void WriteDynamicHeader(BitWriter& out, const DeflateBlock& block) {
  out.Bits(block.literalCount - 257, 5);
  out.Bits(block.distanceCount - 1, 5);
  unsigned sent = 19;
  while (sent > 4 && block.codeLengthLengths[kOrder[sent - 1]] == 0) --sent;
  out.Bits(sent - 4, 4);
  for (unsigned i = 0; i < sent; ++i) out.Bits(block.codeLengthLengths[kOrder[i]], 3);
  std::vector<uint32_t> codes = CanonicalCodes(block.codeLengthLengths, 19);
  for (const CodedSymbol& s : block.lengthRuns) {
    out.Code(codes[s.symbol], block.codeLengthLengths[s.symbol]);
    if (s.symbol == 16) out.Bits(s.extra, 2);
    if (s.symbol == 17) out.Bits(s.extra, 3);
    if (s.symbol == 18) out.Bits(s.extra, 7);
  }
}

}  // namespace

std::vector<uint32_t> CanonicalCodes(const uint8_t* lengths, unsigned count) {
  unsigned perLength[17] = {};
  for (unsigned i = 0; i < count; ++i) ++perLength[lengths[i]];
  perLength[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (unsigned len = 1; len <= 16; ++len) {
    code = (code + perLength[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(count, 0);
  for (unsigned i = 0; i < count; ++i) {
    if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
  }
  return codes;
}

std::vector<uint8_t> WriteBlocks(const std::vector<DeflateBlock>& blocks) {
  BitWriter out;
  for (const DeflateBlock& block : blocks) {
    uint32_t final = block.final ? 8 : 0;
    switch (block.type) {
      case BlockType::Stored:
        out.Bits(kTypeStored | final, 4);
        out.Align();
        out.Bits(static_cast<uint32_t>(block.stored.size()), 16);
        for (uint8_t b : block.stored) out.Byte(b);
        break;
      case BlockType::Fixed:
        out.Bits(kTypeFixed | final, 4);
        WriteSymbols(out, block);
        break;
      case BlockType::Dynamic:
        out.Bits(kTypeDynamic | final, 4);
        WriteDynamicHeader(out, block);
        WriteSymbols(out, block);
        break;
    }
  }
  return out.Take();
}

std::optional<std::vector<uint8_t>> TranscodeDeflate(const std::vector<uint8_t>& deflate,
                                                     std::string* error) {
  std::optional<std::vector<DeflateBlock>> blocks = ParseDeflate(deflate, error);
  if (!blocks) return std::nullopt;
  return WriteBlocks(*blocks);
}

std::vector<uint8_t> CompressDeflate(const uint8_t* data, size_t size,
                                     const StreamOptions& options) {
  std::vector<uint8_t> out;
  if (options.compressor == Compressor::Libdeflate) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(options.level);
    if (c == nullptr) throw std::runtime_error("libdeflate: bad compression level");
    out.resize(libdeflate_deflate_compress_bound(c, size));
    size_t n = libdeflate_deflate_compress(c, data, size, out.data(), out.size());
    libdeflate_free_compressor(c);
    if (n == 0) throw std::runtime_error("libdeflate: compression failed");
    out.resize(n);
    return out;
  }
  z_stream z{};
  if (deflateInit2(&z, options.level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("zlib: bad compression level");
  }
  out.resize(deflateBound(&z, static_cast<uLong>(size)) + 16);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  size_t n = z.total_out;
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("zlib: compression failed");
  out.resize(n);
  return out;
}

std::vector<uint8_t> WriteStream(const uint8_t* data, size_t size,
                                 const StreamOptions& options) {
  std::string error;
  std::optional<std::vector<uint8_t>> stream =
      TranscodeDeflate(CompressDeflate(data, size, options), &error);
  if (!stream) throw std::runtime_error("compressor output not readable: " + error);
  return *stream;
}

}  // namespace setup::tools
