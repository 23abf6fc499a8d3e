#include "tools/mkpkg/patch_encoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace setup::tools {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kFarthest = (1 << 21) + 16415;     // largest distance that can be written
constexpr int32_t kFarthestBack = -(1 << 21) - 16416;  // smallest one

// ---------------------------------------------------------------------------
// Reference applier, written from the format description alone: it rebuilds
// the target the way the installer does and throws on anything the streams
// cannot mean (a cut-off command, a read outside the base, literals missing
// or left over).

class PatchReader {
 public:
  PatchReader(const Bytes& base, const Bytes& commands, const Bytes& literals)
      : base_(base), commands_(commands), literals_(literals) {}

  Bytes Run() {
    while (next_command_ < commands_.size()) {
      const uint8_t c = Command();
      if (c >= 0x80) {
        const unsigned n = (c >> 5) & 3;
        if (n == 0) {
          TakeLiterals((c & 0x1F) + 1);
        } else {
          TakeLiterals(n);
          TakeBase((c & 0x1F) + 2);
        }
      } else if (c != 0) {
        TakeBase(c + 1);
      } else {
        const unsigned lo = Command();
        const unsigned hi = Command();
        TakeBase((lo | (hi << 8)) + 129);
      }
    }
    if (next_literal_ != literals_.size()) throw std::runtime_error("literals left over");
    return out_;
  }

 private:
  uint8_t Command() {
    if (next_command_ >= commands_.size()) throw std::runtime_error("command stream cut off");
    return commands_[next_command_++];
  }

  int64_t Distance() {
    const uint8_t e = Command();
    if ((e & 0xC0) == 0x80) {
      int64_t v = e & 0x3F;
      if (v & 0x20) v -= 0x40;
      return v;
    }
    if ((e & 0x80) == 0) {
      int64_t v = (int64_t{e & 0x7F} << 8) | Command();
      if (v & 0x4000) v -= 0x8000;
      return v >= 0 ? v + 32 : v - 32;
    }
    int64_t v = int64_t{e & 0x3F} << 16;
    v |= int64_t{Command()} << 8;
    v |= Command();
    if (v & 0x200000) v -= 0x400000;
    return v >= 0 ? v + 16416 : v - 16416;
  }

  void TakeLiterals(size_t count) {
    if (literals_.size() - next_literal_ < count) throw std::runtime_error("literals run out");
    out_.insert(out_.end(), literals_.begin() + next_literal_,
                literals_.begin() + next_literal_ + count);
    next_literal_ += count;
  }

  void TakeBase(size_t count) {
    const int64_t from = static_cast<int64_t>(base_pos_) + Distance();
    if (from < 0 || from + static_cast<int64_t>(count) > static_cast<int64_t>(base_.size())) {
      throw std::runtime_error("copy outside the base");
    }
    out_.insert(out_.end(), base_.begin() + from, base_.begin() + from + count);
    base_pos_ = static_cast<size_t>(from) + count;
  }

  const Bytes& base_;
  const Bytes& commands_;
  const Bytes& literals_;
  size_t next_command_ = 0;
  size_t next_literal_ = 0;
  size_t base_pos_ = 0;
  Bytes out_;
};

Bytes Apply(const Bytes& base, const PatchStreams& patch) {
  return PatchReader(base, patch.commands, patch.literals).Run();
}

// ---------------------------------------------------------------------------
// Test data.

// first, first + 1, ... (all distinct for count <= 256, so no accidental matches)
Bytes Seq(int first, size_t count) {
  Bytes b(count);
  for (size_t k = 0; k < count; ++k) b[k] = static_cast<uint8_t>(first + k);
  return b;
}

Bytes Random(size_t count, uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, alphabet - 1);
  Bytes b(count);
  for (auto& v : b) v = static_cast<uint8_t>(byte(rng));
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Slice(const Bytes& b, size_t from, size_t count) {
  return Bytes(b.begin() + from, b.begin() + from + count);
}

Bytes Zeros(size_t count) { return Bytes(count, 0); }

// Words strung together: text with plenty of short repeats.
Bytes Text(size_t count, uint32_t seed) {
  static const char* const kWords[] = {
      "the ",  "setup ",   "file ",  "folder ", "install ", "copy ",   "of ",      "a ",
      "to ",   "program ", "and ",   "window ", "shortcut ", "\r\n",   "version ", "is ",
      "not ",  "found ",   "disk ",  "space ",  "error ",   "system ", "remove ",  "user "};
  std::mt19937 rng(seed);
  std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
  Bytes b;
  while (b.size() < count) {
    for (const char* w = kWords[pick(rng)]; *w; ++w) b.push_back(static_cast<uint8_t>(*w));
  }
  b.resize(count);
  return b;
}

// `base` with `edits` random insertions, deletions and replacements of up to
// `max_len` bytes.
Bytes Edit(Bytes b, int edits, size_t max_len, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int e = 0; e < edits; ++e) {
    const size_t at = std::uniform_int_distribution<size_t>(0, b.size())(rng);
    const size_t len = std::uniform_int_distribution<size_t>(1, max_len)(rng);
    const Bytes fresh = Random(len, rng());
    switch (rng() % 3) {
      case 0:
        b.insert(b.begin() + at, fresh.begin(), fresh.end());
        break;
      case 1:
        b.erase(b.begin() + at, b.begin() + std::min(b.size(), at + len));
        break;
      default:
        for (size_t k = 0; k < len && at + k < b.size(); ++k) b[at + k] = fresh[k];
        break;
    }
  }
  return b;
}

size_t PatchSize(const PatchStreams& p) { return p.commands.size() + p.literals.size(); }

// Encodes and checks that the reference applier gives the target back.
PatchStreams RoundTrip(const Bytes& base, const Bytes& target) {
  PatchStreams patch = EncodePatch(base, target);
  Bytes rebuilt;
  EXPECT_NO_THROW(rebuilt = Apply(base, patch));
  EXPECT_TRUE(rebuilt == target) << "rebuilt " << rebuilt.size() << " bytes of " << target.size();
  return patch;
}

// ---------------------------------------------------------------------------
// The reference applier itself, on streams written by hand.

TEST(PatchReferenceApplierTest, FollowsTheFormat) {
  const Bytes base = Random(300, 1);
  const Bytes literals = Seq(0xC0, 8);
  // 0x85: 6 literals. 0x63 d=0: base[0,100). 0x04 d=-10: base[90,95).
  // 0xA5 d=+1: 1 literal, then base[96,103). 0x00 L=0 d=-103 (v = -71):
  // base[0,129).
  const Bytes commands = {0x85, 0x63, 0x80, 0x04, 0xB6, 0xA5, 0x81, 0x00, 0x00, 0x00, 0x7F, 0xB9};
  Bytes expected = Slice(literals, 0, 6);
  for (const Bytes& part : {Slice(base, 0, 100), Slice(base, 90, 5), Slice(literals, 6, 1),
                            Slice(base, 96, 7), Slice(base, 0, 129)}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(PatchReader(base, commands, Slice(literals, 0, 7)).Run(), expected);

  // Reads outside the base, past the literals or past the commands fail.
  EXPECT_THROW(PatchReader(base, Bytes{0x01, 0xBF}, Bytes{}).Run(), std::runtime_error);
  EXPECT_THROW(PatchReader(base, Bytes{0x81}, Bytes{1}).Run(), std::runtime_error);
  EXPECT_THROW(PatchReader(base, Bytes{0x00, 0x00}, Bytes{}).Run(), std::runtime_error);
  EXPECT_THROW(PatchReader(base, Bytes{0x80}, Bytes{1, 2}).Run(), std::runtime_error);
}

// ---------------------------------------------------------------------------
// Distances.

struct DistanceForm {
  int32_t d;
  Bytes bytes;
};

// Every form with the edges of its ranges, written out by hand.
const std::vector<DistanceForm>& DistanceForms() {
  static const std::vector<DistanceForm> forms = {
      {0, {0x80}},
      {1, {0x81}},
      {-1, {0xBF}},
      {31, {0x9F}},
      {-32, {0xA0}},
      {32, {0x00, 0x00}},
      {-33, {0x7F, 0xFF}},
      {1000, {0x03, 0xC8}},
      {-1000, {0x7C, 0x38}},
      {16415, {0x3F, 0xFF}},
      {-16416, {0x40, 0x00}},
      {16416, {0xC0, 0x00, 0x00}},
      {-16417, {0xFF, 0xFF, 0xFF}},
      {100000, {0xC1, 0x46, 0x80}},
      {kFarthest, {0xDF, 0xFF, 0xFF}},
      {kFarthestBack, {0xE0, 0x00, 0x00}},
  };
  return forms;
}

TEST(PatchDistanceTest, ShortestFormAtEveryRangeEdge) {
  for (const auto& form : DistanceForms()) {
    SCOPED_TRACE(form.d);
    Bytes out = {0x42};  // appends, keeps what is there
    AppendDistance(out, form.d);
    EXPECT_EQ(out, Cat({{0x42}, form.bytes}));
    EXPECT_EQ(DistanceSize(form.d), static_cast<int>(form.bytes.size()));
  }
}

TEST(PatchDistanceTest, ThrowsBeyondTheThreeByteRange) {
  for (int32_t d : {kFarthest + 1, kFarthestBack - 1, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(d);
    Bytes out;
    EXPECT_THROW(AppendDistance(out, d), std::out_of_range);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(DistanceSize(d), 0);
  }
}

// Each distance, written and read back by the reference applier, makes a copy
// read from base position + d, and takes the bytes of the shortest form.
TEST(PatchDistanceTest, EveryWrittenDistanceReadsBack) {
  std::vector<int32_t> ds;
  for (int32_t d = -20000; d <= 20000; ++d) ds.push_back(d);
  for (int32_t d = kFarthest - 300; d <= kFarthest; ++d) ds.push_back(d);
  for (int32_t d = kFarthestBack; d <= kFarthestBack + 300; ++d) ds.push_back(d);
  std::mt19937 rng(5);
  for (int k = 0; k < 20000; ++k) {
    ds.push_back(std::uniform_int_distribution<int32_t>(kFarthestBack, kFarthest)(rng));
  }
  // Negative distances are taken from `origin`, reached by a first 2-byte
  // copy at distance origin - 2 (the farthest forward distance but one).
  const size_t origin = static_cast<size_t>(-int64_t{kFarthestBack});
  Bytes base(size_t{kFarthest} + 2);
  for (int32_t d : ds) {
    Bytes distance;
    AppendDistance(distance, d);
    const size_t shortest = (d >= -32 && d <= 31) ? 1 : (d >= -16416 && d <= 16415) ? 2 : 3;
    ASSERT_EQ(distance.size(), shortest) << d;

    Bytes commands;
    size_t start = 0;
    if (d < 0) {
      commands.push_back(0x01);
      AppendDistance(commands, static_cast<int32_t>(origin - 2));
      start = origin;
    }
    commands.push_back(0x01);
    commands.insert(commands.end(), distance.begin(), distance.end());
    const size_t at = start + d;
    base[at] = 0x5A;
    base[at + 1] = 0xA5;
    const Bytes out = PatchReader(base, commands, Bytes{}).Run();
    base[at] = 0;
    base[at + 1] = 0;
    ASSERT_EQ(out.size(), d < 0 ? 4u : 2u) << d;
    ASSERT_EQ(out[out.size() - 2], 0x5A) << d;
    ASSERT_EQ(out[out.size() - 1], 0xA5) << d;
  }
}

// ---------------------------------------------------------------------------
// Command forms chosen by the encoder, byte for byte.

TEST(PatchEncoderFormsTest, EmptyTargetGivesEmptyStreams) {
  for (const Bytes& base : {Bytes{}, Random(1000, 2)}) {
    const PatchStreams patch = EncodePatch(base, Bytes{});
    EXPECT_TRUE(patch.commands.empty());
    EXPECT_TRUE(patch.literals.empty());
  }
}

TEST(PatchEncoderFormsTest, LiteralRuns) {
  struct Case {
    Bytes base;
    Bytes target;
    Bytes commands;
  };
  const Case cases[] = {
      {{}, Seq(0x10, 1), {0x80}},
      {{}, Seq(0x10, 6), {0x85}},
      {{}, Seq(0x10, 32), {0x9F}},
      {{}, Seq(0x10, 40), {0x9F, 0x87}},
      {{}, Seq(0x10, 64), {0x9F, 0x9F}},
      {Seq(0x10, 64), Seq(0x80, 33), {0x9F, 0x80}},  // nothing in common with the base
      {Seq(0x10, 3), Seq(0x10, 3), {0x82}},           // too short to be worth a copy
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target.size());
    const PatchStreams patch = EncodePatch(c.base, c.target);
    EXPECT_EQ(patch.commands, c.commands);
    EXPECT_EQ(patch.literals, c.target);
  }
}

TEST(PatchEncoderFormsTest, PlainAndLongCopies) {
  struct Case {
    size_t size;
    Bytes commands;
  };
  const Bytes long_piece = {0x00, 0xFF, 0xFF, 0x80};  // 65664 bytes, d = 0
  const Case cases[] = {
      {4, {0x03, 0x80}},
      {100, {0x63, 0x80}},
      {128, {0x7F, 0x80}},
      {129, {0x00, 0x00, 0x00, 0x80}},
      {1000, {0x00, 0x67, 0x03, 0x80}},
      {65664, long_piece},
      // One byte over: a single byte cannot be copied, so 65663 + 2.
      {65665, {0x00, 0xFE, 0xFF, 0x80, 0x01, 0x80}},
      {65664 + 130, Cat({long_piece, {0x00, 0x01, 0x00, 0x80}})},
      {200000, Cat({long_piece, long_piece, long_piece, {0x00, 0x3F, 0x0B, 0x80}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const Bytes data = Random(c.size, static_cast<uint32_t>(c.size));
    const PatchStreams patch = EncodePatch(data, data);
    EXPECT_EQ(patch.commands, c.commands);
    EXPECT_TRUE(patch.literals.empty());
  }
}

TEST(PatchEncoderFormsTest, LiteralsFoldedIntoAShortCopy) {
  struct Case {
    const char* name;
    Bytes base;
    Bytes target;
    Bytes commands;
    Bytes literals;
  };
  const Bytes x = Seq(0x10, 41);
  const Case cases[] = {
      // 1 literal + 7 from the base at d = +1 (skipping the replaced byte).
      {"n=1", Slice(x, 0, 8), Cat({{0xF0}, Slice(x, 1, 7)}), {0xA5, 0x81}, {0xF0}},
      {"n=2", Slice(x, 0, 8), Cat({{0xF0, 0xF1}, Slice(x, 2, 6)}), {0xC4, 0x82}, {0xF0, 0xF1}},
      {"n=3", Slice(x, 0, 8), Cat({Seq(0xF0, 3), Slice(x, 3, 5)}), {0xE3, 0x83}, Seq(0xF0, 3)},
      {"copy 33", Slice(x, 0, 34), Cat({{0xF0}, Slice(x, 1, 33)}), {0xBF, 0x81}, {0xF0}},
      // 33 literals: 32 alone, the last one with the copy (d = 0).
      {"after 32 literals", Slice(x, 0, 6), Cat({Seq(0xC0, 33), Slice(x, 0, 6)}),
       {0x9F, 0xA4, 0x80}, Seq(0xC0, 33)},
      // 40 bytes do not fit: a literal command and a plain copy are shorter
      // than folding 33 and copying the last 7 on their own.
      {"copy 40", x, Cat({{0xF0}, Slice(x, 1, 40)}), {0x80, 0x27, 0x81}, {0xF0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PatchStreams patch = EncodePatch(c.base, c.target);
    EXPECT_EQ(patch.commands, c.commands);
    EXPECT_EQ(patch.literals, c.literals);
    EXPECT_EQ(Apply(c.base, patch), c.target);
  }
}

TEST(PatchEncoderFormsTest, FoldedCopyContinuesWithAPlainOne) {
  // 1 literal + 161 bytes at d = +1: 33 folded in, then 128 at d = 0 (4 bytes)
  // beats a literal command and a long copy (5 bytes).
  const Bytes base = Seq(0x00, 162);
  const Bytes target = Cat({{0xF0}, Slice(base, 1, 161)});
  const PatchStreams patch = EncodePatch(base, target);
  EXPECT_EQ(patch.commands, (Bytes{0xBF, 0x81, 0x7F, 0x80}));
  EXPECT_EQ(patch.literals, Bytes{0xF0});
}

// Each distance form from real matches: the 16 bytes of X sit d bytes after
// the base position (zero filler in between).
TEST(PatchEncoderFormsTest, ForwardDistancesUseTheShortestForm) {
  const Bytes x = Seq(0x10, 16);
  for (const auto& form : DistanceForms()) {
    if (form.d < 0) continue;
    SCOPED_TRACE(form.d);
    const Bytes base = Cat({Zeros(form.d), x});
    const PatchStreams patch = EncodePatch(base, x);
    EXPECT_EQ(patch.commands, Cat({{0x0F}, form.bytes}));
    EXPECT_TRUE(patch.literals.empty());
  }
}

// Base Y + filler + X, target X + Y: after copying X the base position is the
// end of the base, and Y lies -(32 + filler) away.
TEST(PatchEncoderFormsTest, BackwardDistancesUseTheShortestForm) {
  const Bytes x = Seq(0x10, 16);
  const Bytes y = Seq(0x30, 16);
  for (const auto& form : DistanceForms()) {
    if (form.d > -32) continue;
    SCOPED_TRACE(form.d);
    const size_t filler = static_cast<size_t>(-form.d - 32);
    const Bytes base = Cat({y, Zeros(filler), x});
    Bytes first;
    AppendDistance(first, static_cast<int32_t>(16 + filler));
    const PatchStreams patch = EncodePatch(base, Cat({x, y}));
    EXPECT_EQ(patch.commands, Cat({{0x0F}, first, {0x0F}, form.bytes}));
    EXPECT_TRUE(patch.literals.empty());
  }
}

TEST(PatchEncoderFormsTest, UnreachableMatchesBecomeLiterals) {
  const Bytes x = Seq(0x10, 16);
  const Bytes y = Seq(0x30, 16);
  {
    SCOPED_TRACE("one past the farthest forward distance");
    const Bytes base = Cat({Zeros(size_t{kFarthest} + 1), x});
    const PatchStreams patch = EncodePatch(base, x);
    EXPECT_EQ(patch.commands, Bytes{0x8F});
    EXPECT_EQ(patch.literals, x);
  }
  {
    SCOPED_TRACE("beyond the farthest backward distance");
    // X at the farthest forward distance (DF FF FF); then Y[k] lies at
    // k - (2^21 + 16431), in reach only from k = 15 on: no copy fits.
    const Bytes base = Cat({y, Zeros(size_t{1 << 21} + 16399), x});
    const PatchStreams patch = EncodePatch(base, Cat({x, y}));
    EXPECT_EQ(patch.commands, (Bytes{0x0F, 0xDF, 0xFF, 0xFF, 0x8F}));
    EXPECT_EQ(patch.literals, y);
  }
  {
    SCOPED_TRACE("only the reachable part is copied");
    // X at 2^21 + 16401 (DF FF F1); Y[0] one byte out of reach, Y[1..16) at
    // exactly the farthest backward distance: 1 literal + 15 copied (0xAD).
    const Bytes base = Cat({y, Zeros(size_t{1 << 21} + 16385), x});
    const PatchStreams patch = EncodePatch(base, Cat({x, y}));
    EXPECT_EQ(patch.commands, (Bytes{0x0F, 0xDF, 0xFF, 0xF1, 0xAD, 0xE0, 0x00, 0x00}));
    EXPECT_EQ(patch.literals, Bytes{0x30});
  }
}

TEST(PatchEncoderFormsTest, PrefersTheNearestCopyOfRepeatedContent) {
  // A occurs before and after B. The target is B, 10 new bytes, then A
  // without its first 10 bytes: after copying B, the rest of A is 10 bytes
  // on (d = 10, 1 byte) rather than 20990 back (3 bytes).
  const Bytes a = Random(1000, 11);
  const Bytes b = Random(20000, 12);
  const Bytes base = Cat({a, b, a, Random(500, 13)});
  const Bytes fresh = Seq(0xF0, 10);
  const PatchStreams patch = EncodePatch(base, Cat({b, fresh, Slice(a, 10, 990)}));
  // 20000 = 0x4D9F + 129 at d = 1000 (03 C8); 10 literals (0x89);
  // 990 = 0x35D + 129 at d = 10.
  EXPECT_EQ(patch.commands,
            (Bytes{0x00, 0x9F, 0x4D, 0x03, 0xC8, 0x89, 0x00, 0x5D, 0x03, 0x8A}));
  EXPECT_EQ(patch.literals, fresh);
}

TEST(PatchEncoderFormsTest, LooksOneByteFurtherForABetterMatch) {
  // The target's first 6 bytes occur 20040 bytes on (a 3-byte distance); from
  // its second byte on, all of it is at the base position. Taking the short
  // copy would cost 4 + 4 command bytes; one literal and one copy cost 3 + 1.
  const Bytes b = Seq(0x10, 40);
  const Bytes base = Cat({b, Zeros(20000), {0xF0}, Slice(b, 0, 5), Seq(0xA0, 10)});
  const PatchStreams patch = EncodePatch(base, Cat({{0xF0}, b}));
  EXPECT_EQ(patch.commands, (Bytes{0x80, 0x27, 0x80}));
  EXPECT_EQ(patch.literals, Bytes{0xF0});
}

TEST(PatchEncoderFormsTest, FindsAShortMatchAfterALongUnmatchedStretch) {
  // 300000 bytes with nothing in common with the base, then 24 bytes found
  // 10000 bytes into it: however far the scan has sped up, it still finds
  // them and extends the copy back to their first byte.
  const Bytes m = Seq(0x40, 24);
  const Bytes base = Cat({Random(10000, 70), m, Random(1000, 71)});
  const Bytes fresh = Random(300000, 72);
  const Bytes tail = Random(50, 73);
  const PatchStreams patch = RoundTrip(base, Cat({fresh, m, tail}));
  EXPECT_EQ(patch.literals, Cat({fresh, tail}));
}

// ---------------------------------------------------------------------------
// Round trips.

TEST(PatchEncoderRoundTripTest, VariedCorpus) {
  const Bytes random = Random(100000, 20);
  const Bytes text = Text(200000, 21);
  Bytes blocks;  // 16 blocks of 8 KB
  std::vector<Bytes> block;
  for (int k = 0; k < 16; ++k) block.push_back(Random(8192, 100 + k));
  for (const auto& b : block) blocks.insert(blocks.end(), b.begin(), b.end());
  Bytes shuffled;
  for (int k : {15, 3, 3, 0, 7, 1, 12, 2, 9, 9, 14}) {
    shuffled.insert(shuffled.end(), block[k].begin(), block[k].end());
  }
  const Bytes small_alphabet = Random(30000, 22, 4);

  const std::vector<std::pair<const char*, std::pair<Bytes, Bytes>>> corpus = {
      {"both empty", {{}, {}}},
      {"empty base", {{}, random}},
      {"empty target", {random, {}}},
      {"base of 3 bytes", {{1, 2, 3}, {1, 2, 3, 1, 2, 3}}},
      {"identical", {random, random}},
      {"unrelated", {random, Random(100000, 23)}},
      {"zeros, target longer", {Zeros(100000), Zeros(150000)}},
      {"zeros against random", {Zeros(5000), Random(5000, 24)}},
      {"periodic", {Random(7, 25), Cat({Random(7, 25), Random(7, 25), Random(7, 25)})}},
      {"text edits", {text, Edit(text, 60, 40, 26)}},
      {"text heavy edits", {text, Edit(text, 2000, 12, 27)}},
      {"random edits", {random, Edit(random, 100, 300, 28)}},
      {"shifted blocks", {blocks, shuffled}},
      {"target shorter", {random, Slice(random, 30000, 20000)}},
      {"target longer", {Slice(random, 0, 20000), Cat({random, Slice(random, 500, 3000)})}},
      {"small alphabet", {small_alphabet, Edit(small_alphabet, 200, 20, 29)}},
      {"text against random", {Random(50000, 30), Text(50000, 31)}},
  };
  for (const auto& [name, pair] : corpus) {
    SCOPED_TRACE(name);
    const auto& [base, target] = pair;
    const PatchStreams patch = RoundTrip(base, target);
    // Never much worse than sending everything as literals.
    EXPECT_LE(PatchSize(patch), target.size() + (target.size() + 31) / 32 + 4);
  }
}

TEST(PatchEncoderRoundTripTest, ManySmallRandomPairs) {
  std::mt19937 rng(40);
  for (int k = 0; k < 400; ++k) {
    SCOPED_TRACE(k);
    const size_t size = rng() % 400;
    const int alphabet = 1 + static_cast<int>(rng() % 6);
    const Bytes base = Random(size, rng(), alphabet);
    const Bytes target = (rng() % 4 == 0) ? Random(rng() % 400, rng(), alphabet)
                                          : Edit(base, 1 + rng() % 8, 1 + rng() % 70, rng());
    RoundTrip(base, target);
    if (HasFailure()) break;
  }
}

// A 5 MB base with target pieces from far apart: jumps up to the farthest
// distance are copied, the one beyond it goes to the literals.
TEST(PatchEncoderRoundTripTest, FarPiecesOfALargeBase) {
  const size_t piece = 50000;
  const Bytes base = Random(5000000, 50);
  const Bytes target = Cat({
      Slice(base, 1500000, piece),  // d = +1.50 M from 0
      Slice(base, 3400000, piece),  // +1.85 M
      Slice(base, 4900000, piece),  // +1.45 M
      Slice(base, 200000, piece),   // -4.75 M: out of reach
      Slice(base, 2900000, piece),  // -2.05 M from 4.95 M
  });
  const PatchStreams patch = RoundTrip(base, target);
  EXPECT_EQ(patch.literals, Slice(base, 200000, piece));
  EXPECT_LT(patch.commands.size(), piece / 32 + 100);
}

// ---------------------------------------------------------------------------
// Patch sizes on similar inputs.

TEST(PatchEncoderSizeTest, FewChangedBytesInAMegabyte) {
  const Bytes base = Random(1 << 20, 60);
  Bytes target = base;
  for (size_t k = 0; k < 10; ++k) target[k * 104729 + 77] ^= 0x5A;
  const PatchStreams patch = RoundTrip(base, target);
  EXPECT_LT(PatchSize(patch), 200u);
  EXPECT_EQ(patch.literals.size(), 10u);
}

TEST(PatchEncoderSizeTest, TextWithAnInsertionADeletionAndAReplacement) {
  const Bytes base = Text(100000, 61);
  Bytes target = base;
  const std::string inserted = "a new line of text\r\n";
  target.insert(target.begin() + 70000, inserted.begin(), inserted.end());
  target.erase(target.begin() + 40000, target.begin() + 40030);
  for (size_t k = 0; k < 10; ++k) target[10000 + k] = static_cast<uint8_t>('0' + k);
  const PatchStreams patch = RoundTrip(base, target);
  EXPECT_LE(patch.literals.size(), inserted.size() + 10 + 8);
  EXPECT_LT(patch.commands.size(), 40u);
}

TEST(PatchEncoderSizeTest, MovedBlocksCostOnlyCommands) {
  const Bytes a = Random(65536, 62), b = Random(65536, 63), c = Random(65536, 64),
              d = Random(65536, 65);
  const PatchStreams patch = RoundTrip(Cat({a, b, c, d}), Cat({d, a, b, c}));
  EXPECT_TRUE(patch.literals.empty());
  EXPECT_LT(patch.commands.size(), 40u);
}

TEST(PatchEncoderSizeTest, PrefixAddedToALargeFile) {
  const Bytes base = Random(1 << 20, 66);
  const Bytes prefix = Random(100, 67);
  const PatchStreams patch = RoundTrip(base, Cat({prefix, base}));
  EXPECT_EQ(patch.literals, prefix);
  EXPECT_LT(patch.commands.size(), 80u);
}

}  // namespace
}  // namespace setup::tools
