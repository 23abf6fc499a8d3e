// Streams made by zlib and libdeflate, rewritten in the package format, decode
// to the original bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tools/streamwriter/stream_writer.h"
#include "unit/support/decode_harness.h"

namespace setup {
namespace {

using test::DecodeHarness;
using test::DecodeOutcome;
using tools::Compressor;
using tools::StreamOptions;

std::vector<uint8_t> Text(size_t size, uint32_t seed) {
  static const char* words[] = {"setup ", "file ", "window ", "the ", "package ", "volume ",
                                "\n", "installer ", "registry ", "of "};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const char* word = words[rng() % 10];
    out.insert(out.end(), word, word + std::char_traits<char>::length(word));
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data, const StreamOptions& options) {
  std::vector<uint8_t> stream = tools::WriteStream(data.data(), data.size(), options);
  for (bool portable : {false, true}) {  // both builds of the fast path
    DecodeHarness h;
    h.portableLoop = portable;
    DecodeOutcome out = h.Decode(stream);
    ASSERT_EQ(out.entryResult, DECODE_OK);
    ASSERT_EQ(out.bytes.size(), data.size());
    EXPECT_TRUE(out.bytes == data);
    // Whole windows, then the rest.
    for (size_t i = 0; i + 1 < out.writes.size(); ++i) EXPECT_EQ(out.writes[i], 32768u);
    EXPECT_EQ(out.writes.back(), data.size() % 32768);
  }
}

TEST(TranscodedStreamsTest, LibdeflateEveryLevel) {
  std::vector<uint8_t> data = Text(200000, 1);
  std::vector<uint8_t> noise = Noise(5000, 2);
  data.insert(data.begin() + 70000, noise.begin(), noise.end());
  for (int level = 0; level <= 12; ++level) {
    SCOPED_TRACE(level);
    ExpectRoundTrip(data, {Compressor::Libdeflate, level});
  }
}

TEST(TranscodedStreamsTest, ZlibEveryLevel) {
  std::vector<uint8_t> data = Text(150000, 3);
  for (int level = 0; level <= 9; ++level) {
    SCOPED_TRACE(level);
    ExpectRoundTrip(data, {Compressor::Zlib, level});
  }
}

TEST(TranscodedStreamsTest, SizesAroundTheWindow) {
  for (size_t size : {0u, 1u, 32767u, 32768u, 32769u, 65536u, 98305u}) {
    SCOPED_TRACE(size);
    ExpectRoundTrip(Text(size, 4), {});
    ExpectRoundTrip(Noise(size, 5), {Compressor::Zlib, 6});
  }
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// A match of 258 bytes is always written as symbol 285, never as 284 with all
// its extra bits set: readers may rely on it. Both compressors keep to it.
TEST(TranscodedStreamsTest, LongestMatchIsAlwaysSymbol285) {
  std::vector<uint8_t> runs(100000, 'a');
  std::vector<uint8_t> text = Text(100000, 9);
  runs.insert(runs.end(), text.begin(), text.end());
  for (const StreamOptions& options :
       {StreamOptions{Compressor::Libdeflate, 12}, StreamOptions{Compressor::Libdeflate, 1},
        StreamOptions{Compressor::Zlib, 9}, StreamOptions{Compressor::Zlib, 1}}) {
    std::string error;
    auto blocks = tools::ParseDeflate(tools::CompressDeflate(runs.data(), runs.size(), options), &error);
    ASSERT_TRUE(blocks.has_value()) << error;
    size_t longest = 0;
    for (const tools::DeflateBlock& block : *blocks) {
      for (const tools::CodedSymbol& s : block.symbols) {
        EXPECT_FALSE(s.symbol == 284 && s.extra == 31);
        longest += s.symbol == 285;
      }
    }
    EXPECT_GT(longest, 100u);
  }
}

}  // namespace
}  // namespace setup
