#include "tools/mkpkg/patch_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace setup::tools {
namespace {

constexpr size_t kMaxLiteralRun = 32;
constexpr size_t kMinCopy = 2;
constexpr size_t kMaxShortCopy = 128;
constexpr size_t kMinLongCopy = 129;
constexpr size_t kMaxLongCopy = 65664;
constexpr size_t kMaxCombinedLiterals = 3;
constexpr size_t kMaxCombinedCopy = 33;

// Match finding. The base is indexed by a hash of every 4-byte sequence; the
// positions with one hash are kept in ascending order, so the candidates
// nearest the base position (the ones with the shortest distances) are
// looked at first.
constexpr size_t kHashBytes = 4;
constexpr size_t kMaxCandidates = 32;   // index candidates looked at per target position
constexpr size_t kGoodMatch = 4096;     // a match this long ends the search
constexpr size_t kLazyLimit = 64;       // shorter matches are weighed against one a byte later
constexpr int64_t kMinGain = 2;         // bytes a copy must save over literals
// In a long stretch without matches the scan steps over more and more
// positions (one more per 64 misses, at most kMaxStep); a match found later
// still extends back over the skipped bytes, so only matches shorter than
// about kMaxStep + 4 bytes can be missed.
constexpr size_t kSkipShift = 6;
constexpr size_t kMaxStep = 16;

size_t LiteralCommands(size_t run) { return (run + kMaxLiteralRun - 1) / kMaxLiteralRun; }

// The first piece of a copy of `len` bytes. Pieces are as long as the long
// form allows, except that a single byte may not be left over.
size_t NextPiece(size_t len) {
  if (len <= kMaxLongCopy) return len;
  if (len == kMaxLongCopy + 1) return kMaxLongCopy - 1;
  return kMaxLongCopy;
}

// Command bytes of a copy of `len` (>= 2) bytes split by NextPiece, the first
// piece's distance taking `dist_size` bytes and the others continuing at d = 0.
size_t CopyCost(size_t len, int dist_size) {
  if (len <= kMaxLongCopy) return (len <= kMaxShortCopy ? 1 : 3) + dist_size;
  size_t full = len / kMaxLongCopy;
  size_t rest = len % kMaxLongCopy;
  size_t cost = full * 4 + dist_size - 1;
  if (rest == 1) rest = 2;  // 65663 + 2 instead of 65664 + 1
  if (rest > 0) cost += (rest <= kMaxShortCopy ? 1 : 3) + 1;
  return cost;
}

// Length of the common prefix of a and b, at most `limit`.
size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    while (n + 8 <= limit) {
      uint64_t x, y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + std::countr_zero(x ^ y) / 8;
      n += 8;
    }
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

class CommandWriter {
 public:
  explicit CommandWriter(PatchStreams& out) : out_(out) {}

  void Literals(const uint8_t* data, size_t count) {
    while (count > 0) {
      size_t run = std::min(count, kMaxLiteralRun);
      out_.commands.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
      out_.literals.insert(out_.literals.end(), data, data + run);
      data += run;
      count -= run;
    }
  }

  void Copy(size_t len, int32_t d) {
    while (len > 0) {
      size_t piece = NextPiece(len);
      if (piece <= kMaxShortCopy) {
        out_.commands.push_back(static_cast<uint8_t>(piece - 1));
      } else {
        size_t l = piece - kMinLongCopy;
        out_.commands.push_back(0x00);
        out_.commands.push_back(static_cast<uint8_t>(l & 0xFF));
        out_.commands.push_back(static_cast<uint8_t>(l >> 8));
      }
      AppendDistance(out_.commands, d);
      d = 0;
      len -= piece;
    }
  }

  // `run` literals followed by a copy of `len` (>= 2) bytes at distance d, in
  // the fewest command bytes: either literal commands and plain copies, or the
  // last 1-3 literals folded with the first 2-33 copied bytes into one command.
  void LiteralsThenCopy(const uint8_t* literals, size_t run, size_t len, int32_t d) {
    const int dist_size = DistanceSize(d);
    size_t best = LiteralCommands(run) + CopyCost(len, dist_size);
    size_t best_n = 0, best_c = 0;
    for (size_t n = 1; n <= std::min(run, kMaxCombinedLiterals); ++n) {
      for (size_t c = std::min(len, kMaxCombinedCopy); c >= kMinCopy; --c) {
        size_t rest = len - c;
        if (rest == 1) continue;
        size_t cost = LiteralCommands(run - n) + 1 + dist_size + (rest ? CopyCost(rest, 1) : 0);
        if (cost < best) {
          best = cost;
          best_n = n;
          best_c = c;
        }
      }
    }
    if (best_n == 0) {
      Literals(literals, run);
      Copy(len, d);
      return;
    }
    Literals(literals, run - best_n);
    out_.commands.push_back(static_cast<uint8_t>(0x80 | (best_n << 5) | (best_c - kMinCopy)));
    out_.literals.insert(out_.literals.end(), literals + run - best_n, literals + run);
    AppendDistance(out_.commands, d);
    Copy(len - best_c, 0);
  }

 private:
  PatchStreams& out_;
};

// Every position of the base with 4 bytes to hash, grouped by hash, each group
// in ascending order (a counting sort by hash).
class BaseIndex {
 public:
  explicit BaseIndex(const std::vector<uint8_t>& base) {
    if (base.size() < kHashBytes) return;
    const size_t count = base.size() - kHashBytes + 1;
    const int bits = std::clamp(static_cast<int>(std::bit_width(count)) - 1, 8, 22);
    shift_ = 32 - bits;
    starts_.assign((size_t{1} << bits) + 1, 0);
    const uint8_t* data = base.data();
    for (size_t p = 0; p < count; ++p) ++starts_[Hash(data + p) + 1];
    for (size_t h = 1; h < starts_.size(); ++h) starts_[h] += starts_[h - 1];
    std::vector<uint32_t> next(starts_.begin(), starts_.end() - 1);
    positions_.resize(count);
    for (size_t p = 0; p < count; ++p) positions_[next[Hash(data + p)]++] = static_cast<uint32_t>(p);
  }

  bool empty() const { return positions_.empty(); }

  uint32_t Hash(const uint8_t* p) const { return (Load32(p) * 0x9E3779B1u) >> shift_; }

  const uint32_t* BucketBegin(uint32_t hash) const { return positions_.data() + starts_[hash]; }
  const uint32_t* BucketEnd(uint32_t hash) const { return positions_.data() + starts_[hash + 1]; }

 private:
  int shift_ = 32;
  std::vector<uint32_t> starts_;
  std::vector<uint32_t> positions_;
};

struct Match {
  size_t start = 0;   // in the target
  size_t source = 0;  // in the base
  size_t length = 0;
  int32_t distance = 0;
  int64_t gain = kMinGain - 1;  // bytes saved over sending the covered bytes as literals
};

class Encoder {
 public:
  Encoder(const std::vector<uint8_t>& base, const std::vector<uint8_t>& target)
      : base_(base.data()), base_size_(base.size()), target_(target.data()),
        target_size_(target.size()), index_(base) {}

  PatchStreams Run() {
    PatchStreams out;
    CommandWriter writer(out);
    size_t i = 0;
    size_t misses = 0;
    while (i < target_size_) {
      Match m = FindBest(i);
      if (m.length == 0) {
        i += std::min(1 + (misses++ >> kSkipShift), kMaxStep);
        continue;
      }
      misses = 0;
      // A short match may hide a better one starting a byte later.
      while (m.length < kLazyLimit && i + 1 < target_size_) {
        Match later = FindBest(i + 1);
        if (later.length == 0 || later.gain <= m.gain) break;
        m = later;
        ++i;
      }
      writer.LiteralsThenCopy(target_ + literal_start_, m.start - literal_start_, m.length,
                              m.distance);
      base_pos_ = m.source + m.length;
      i = m.start + m.length;
      literal_start_ = i;
    }
    writer.Literals(target_ + literal_start_, target_size_ - literal_start_);
    return out;
  }

 private:
  // The best copy covering target position i: the base position itself
  // first (d = 0, the unchanged run), then index candidates nearest to it.
  Match FindBest(size_t i) const {
    Match best;
    if (base_pos_ < base_size_) Consider(i, base_pos_, best);
    if (best.length >= kGoodMatch || index_.empty() || i + kHashBytes > target_size_) return best;

    const uint32_t hash = index_.Hash(target_ + i);
    const uint32_t* begin = index_.BucketBegin(hash);
    const uint32_t* end = index_.BucketEnd(hash);
    const uint32_t* right = std::lower_bound(begin, end, base_pos_);
    const uint32_t* left = right;  // candidates below are left[-1], left[-2], ...
    const size_t max_ahead = static_cast<size_t>(kMaxPatchDistance);
    const size_t max_behind = static_cast<size_t>(-static_cast<int64_t>(kMinPatchDistance));
    if (right != end && *right == base_pos_) ++right;  // already looked at
    size_t looked = 0;
    while (looked < kMaxCandidates) {
      bool take_right;
      if (right != end && *right - base_pos_ > max_ahead) right = end;
      if (left != begin && base_pos_ - left[-1] > max_behind) left = begin;
      if (right == end && left == begin) break;
      if (right == end) take_right = false;
      else if (left == begin) take_right = true;
      else take_right = *right - base_pos_ <= base_pos_ - left[-1];
      const size_t p = take_right ? *right++ : *--left;
      Consider(i, p, best);
      ++looked;
      if (best.length >= kGoodMatch) break;
    }
    return best;
  }

  // Target position i against base position p, extended forward and back
  // over pending literals; replaces `best` when it saves more.
  void Consider(size_t i, size_t p, Match& best) const {
    const int64_t d = static_cast<int64_t>(p) - static_cast<int64_t>(base_pos_);
    if (d < kMinPatchDistance || d > kMaxPatchDistance) return;
    const size_t forward =
        MatchLength(base_ + p, target_ + i, std::min(base_size_ - p, target_size_ - i));
    if (forward < kMinCopy) return;
    size_t max_back = std::min(i - literal_start_, p);
    max_back = std::min(max_back, static_cast<size_t>(d - kMinPatchDistance));
    size_t back = 0;
    while (back < max_back && base_[p - back - 1] == target_[i - back - 1]) ++back;
    const size_t length = forward + back;
    const int64_t distance = d - static_cast<int64_t>(back);
    const int64_t gain = static_cast<int64_t>(length) -
                         static_cast<int64_t>(CopyCost(length, DistanceSize(distance)));
    // Candidates come nearest first, so on equal gain the nearer one stays.
    if (gain > best.gain) {
      best.start = i - back;
      best.source = p - back;
      best.length = length;
      best.distance = static_cast<int32_t>(distance);
      best.gain = gain;
    }
  }

  const uint8_t* base_;
  size_t base_size_;
  const uint8_t* target_;
  size_t target_size_;
  BaseIndex index_;
  size_t base_pos_ = 0;       // the end of the last copy from the base
  size_t literal_start_ = 0;  // target bytes from here on are not yet written
};

}  // namespace

int DistanceSize(int64_t d) {
  if (d >= -32 && d <= 31) return 1;
  if (d >= -16416 && d <= 16415) return 2;
  if (d >= kMinPatchDistance && d <= kMaxPatchDistance) return 3;
  return 0;
}

void AppendDistance(std::vector<uint8_t>& commands, int32_t d) {
  switch (DistanceSize(d)) {
    case 1:
      commands.push_back(static_cast<uint8_t>(0x80 | (static_cast<uint32_t>(d) & 0x3F)));
      return;
    case 2: {
      const uint32_t v = static_cast<uint32_t>(d >= 0 ? d - 32 : d + 32) & 0x7FFF;
      commands.push_back(static_cast<uint8_t>(v >> 8));
      commands.push_back(static_cast<uint8_t>(v & 0xFF));
      return;
    }
    case 3: {
      const uint32_t v = static_cast<uint32_t>(d >= 0 ? d - 16416 : d + 16416) & 0x3FFFFF;
      commands.push_back(static_cast<uint8_t>(0xC0 | (v >> 16)));
      commands.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
      commands.push_back(static_cast<uint8_t>(v & 0xFF));
      return;
    }
  }
  throw std::out_of_range("patch distance out of range");
}

PatchStreams EncodePatch(const std::vector<uint8_t>& base, const std::vector<uint8_t>& target) {
  if (base.size() > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("patch base too large");
  }
  if (target.empty()) return {};
  return Encoder(base, target).Run();
}

}  // namespace setup::tools
