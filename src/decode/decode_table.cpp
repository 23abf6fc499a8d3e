// Building decoding tables from code lengths.
//
// Codes are canonical: ordered by length, and within a length by symbol. A code
// arrives first bit first, so its table index is its bit-reversed value, and the
// walk below counts codes upward in bit-reversed form.
//
// The first-level table has the requested width (bounded by the shortest and
// longest code). A code longer than the bits the open tables cover opens a
// sub-table. A sub-table is as narrow as its codes allow: it starts at the
// width of the code that opens it and widens only while the codes of the next
// lengths would leave patterns unused, never beyond the first-level width. The
// end-of-block code is made to end exactly at a table boundary.
//
// The walk fills a block with room for the first level and a few hundred
// sub-table entries, which holds the tables of nearly every code in one pass;
// a code that needs more is walked twice: once to total the entries of its
// tables, once to fill a block of that size.
#include "decode/decode_table.h"

#include <bit>
#include <cstring>

#include "base/memory.h"

namespace setup {

namespace {

constexpr int kMaxCodeBits = 16;
constexpr unsigned kMaxSymbols = 288;

struct CodeShape {
  unsigned counts[kMaxCodeBits + 1];  // codes per length; the longest includes the free patterns
  uint16_t symbols[kMaxSymbols];      // symbols with a code, in code order
  unsigned symbolCount;               // beyond this, codes are free patterns
  int shortest;
  int longest;
  int endOfBlockBits;
  int rootLimit;                      // requested first-level width, bounded
};

struct SymbolMap {
  unsigned simple;
  const uint16_t* bases;
  const uint8_t* extras;
};

DecodeEntry EntryFor(const CodeShape& shape, const SymbolMap& map, unsigned position,
                     int bits) {
  DecodeEntry entry{static_cast<uint8_t>(bits), kOpInvalid, 0};
  if (position >= shape.symbolCount) return entry;
  unsigned symbol = shape.symbols[position];
  if (symbol < map.simple) {
    entry.op = symbol < 256 ? kOpLiteral : kOpEndOfBlock;
    entry.value = static_cast<uint16_t>(symbol);
  } else {
    entry.op = map.extras[symbol - map.simple];
    entry.value = map.bases[symbol - map.simple];
    // The extra bits follow the code at once: one shift drops both.
    if (entry.op < kOpEndOfBlock) entry.bits = static_cast<uint8_t>(bits + entry.op);
  }
  return entry;
}

constexpr uint32_t kTooManyEntries = 0xFFFFFFFF;
// Sub-table room of the one-pass block, beyond the first level.
constexpr uint32_t kSubTableRoom = 512;

// Width of a table opened by a code of `length` bits, `decoded` bits into
// the code, with `left` more codes of that length to come: as narrow as its
// codes allow, widened only while the codes of the next lengths would leave
// patterns unused, never beyond the first-level width, and cut so that the
// end-of-block code ends at its boundary.
int TableWidth(const CodeShape& shape, int length, int decoded, unsigned left) {
  int limit = shape.longest - decoded;
  if (limit > shape.rootLimit) limit = shape.rootLimit;
  int bits = length - decoded;
  unsigned free = 1u << bits;
  if (free > left + 1) {
    free -= left + 1;
    int next = length;
    while (bits < limit && ++bits < limit) {
      free <<= 1;
      if (free <= shape.counts[++next]) break;
      free -= shape.counts[next];
    }
  }
  if (decoded + bits > shape.endOfBlockBits && decoded < shape.endOfBlockBits) {
    bits = shape.endOfBlockBits - decoded;
  }
  return bits;
}

// The next code of `length` bits after `code`, counting in bit-reversed
// order: the highest clear bit is set and the ones above it are cleared
// (after the last code, all are). Without a loop: a bit-by-bit carry
// mispredicts about once a code.
unsigned NextCode(unsigned code, int length) {
  unsigned clear = ~code & ((1u << length) - 1);
  if (clear == 0) return 0;
  unsigned bit = 1u << (31 - std::countl_zero(clear));
  return (code & (bit - 1)) | bit;
}

inline void StoreEntry(DecodeEntry* at, const DecodeEntry& entry) {
  // One 32-bit store rather than one per field.
  uint32_t word;
  std::memcpy(&word, &entry, sizeof word);
  std::memcpy(at, &word, sizeof word);
}

// Lays the tables out, filling `block` (room for `capacity` entries) when it
// is not null. Returns the number of entries used, 0 when a sub-table would
// start beyond a link's reach, or kTooManyEntries when `block` is too small.
uint32_t LayOutTables(const CodeShape& shape, const SymbolMap& map, DecodeEntry* block,
                      uint32_t capacity, int* rootWidth) {
  uint32_t tableStart[kMaxCodeBits] = {};
  int tableBits[kMaxCodeBits] = {};
  unsigned savedCode[kMaxCodeBits] = {};
  unsigned code = 0;      // current code, bit-reversed
  unsigned position = 0;  // index into shape.symbols

  // The first level, opened by the shortest code. Its codes are laid out
  // shortest first in a table as wide as their length, which doubles (by
  // copying itself) before each longer length: a code of n bits then fills
  // every 2^n-th entry without a loop of its own.
  const int rootBits = TableWidth(shape, shape.shortest, 0, shape.counts[shape.shortest] - 1);
  uint32_t filled = 1u << shape.shortest;
  int length = shape.shortest;
  for (; length <= rootBits; ++length) {
    if (length > shape.shortest) {
      if (block != nullptr) std::memcpy(block + filled, block, filled * sizeof(DecodeEntry));
      filled <<= 1;
    }
    for (unsigned left = shape.counts[length]; left-- > 0;) {
      if (block != nullptr) StoreEntry(block + code, EntryFor(shape, map, position, length));
      ++position;
      code = NextCode(code, length);
    }
  }

  int level = 0;
  tableBits[0] = rootBits;
  int decoded = 0;        // bits consumed before the current table
  uint32_t used = filled;
  uint32_t current = 0;   // start of the current table
  uint32_t entries = filled;  // its size

  // Longer codes go to sub-tables.
  for (; length <= shape.longest; ++length) {
    for (unsigned left = shape.counts[length]; left-- > 0;) {
      // Open tables until one covers this code's last bit.
      while (length > decoded + tableBits[level]) {
        decoded += tableBits[level];
        ++level;
        int bits = TableWidth(shape, length, decoded, left);
        entries = 1u << bits;
        current = used;
        used += entries;
        if (block != nullptr && used > capacity) return kTooManyEntries;
        tableBits[level] = bits;
        tableStart[level] = current;
        if (current > 0xFFFF) return 0;
        savedCode[level] = code;
        int parentBits = tableBits[level - 1];
        unsigned index = (code & ((1u << decoded) - 1)) >> (decoded - parentBits);
        if (block != nullptr) {
          block[tableStart[level - 1] + index] =
              DecodeEntry{static_cast<uint8_t>(parentBits),
                          static_cast<uint8_t>(kOpLinkBase + bits), static_cast<uint16_t>(current)};
        }
      }

      if (block != nullptr) {
        DecodeEntry entry = EntryFor(shape, map, position, length - decoded);
        unsigned step = 1u << (length - decoded);
        for (unsigned i = code >> decoded; i < entries; i += step) {
          StoreEntry(block + current + i, entry);
        }
      }
      ++position;
      code = NextCode(code, length);

      // Leave the tables this code has completed.
      while (level > 0 && (code & ((1u << decoded) - 1)) != savedCode[level]) {
        --level;
        decoded -= tableBits[level];
      }
    }
  }
  *rootWidth = rootBits;
  return used;
}

}  // namespace

TableResult BuildDecodeTable(Platform& platform, const uint8_t* lengths, unsigned count,
                             unsigned simple, const uint16_t* bases, const uint8_t* extras,
                             DecodeEntry** table, int* width) {
  *table = nullptr;
  if (count > kMaxSymbols) return TABLE_OVERSUBSCRIBED;

  uint8_t top = 0;
  for (unsigned i = 0; i < count; ++i) top = lengths[i] > top ? lengths[i] : top;
  if (top > kMaxCodeBits) return TABLE_OVERSUBSCRIBED;
  // Neighbouring lengths are mostly equal: the two halves of the alphabet
  // are counted (and sorted, below) side by side, which keeps one increment
  // from waiting for the store of the one before.
  CodeShape shape = {};
  unsigned firstHalf[kMaxCodeBits + 1] = {};
  const unsigned half = count / 2;
  for (unsigned i = 0; i < half; ++i) {
    ++firstHalf[lengths[i]];
    ++shape.counts[lengths[half + i]];
  }
  if (count % 2 != 0) ++shape.counts[lengths[count - 1]];
  for (int length = 0; length <= kMaxCodeBits; ++length) shape.counts[length] += firstHalf[length];
  if (shape.counts[0] == count) {
    *width = 0;
    return TABLE_OK;
  }

  shape.shortest = 1;
  while (shape.counts[shape.shortest] == 0) ++shape.shortest;
  shape.longest = kMaxCodeBits;
  while (shape.counts[shape.longest] == 0) --shape.longest;
  int root = *width;
  if (root < shape.shortest) root = shape.shortest;
  if (root > shape.longest) root = shape.longest;
  shape.rootLimit = root;
  shape.endOfBlockBits = count > 256 ? lengths[256] : kMaxCodeBits;

  // Kraft check: patterns left after each length must never go negative. What
  // is left at the longest length becomes free patterns that decode as invalid.
  int free = 1 << shape.shortest;
  for (int length = shape.shortest; length < shape.longest; ++length, free <<= 1) {
    free -= static_cast<int>(shape.counts[length]);
    if (free < 0) return TABLE_OVERSUBSCRIBED;
  }
  free -= static_cast<int>(shape.counts[shape.longest]);
  if (free < 0) return TABLE_OVERSUBSCRIBED;
  shape.counts[shape.longest] += static_cast<unsigned>(free);

  // Symbols in code order; those without a code go behind the others, which
  // spares a branch per symbol. Each half has its own positions.
  shape.symbolCount = count - shape.counts[0];
  unsigned first[kMaxCodeBits + 1];
  unsigned second[kMaxCodeBits + 1];
  first[0] = shape.symbolCount;
  second[0] = first[0] + firstHalf[0];
  unsigned next = 0;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    first[length] = next;
    second[length] = next + firstHalf[length];
    next += shape.counts[length];
  }
  for (unsigned i = 0; i < half; ++i) {
    shape.symbols[first[lengths[i]]++] = static_cast<uint16_t>(i);
    shape.symbols[second[lengths[half + i]]++] = static_cast<uint16_t>(half + i);
  }
  if (count % 2 != 0) shape.symbols[second[lengths[count - 1]]++] = static_cast<uint16_t>(count - 1);

  SymbolMap map{simple, bases, extras};
  int built = 0;
  // Every entry of every table is written: no need to zero them first.
  DecodeEntry* block = nullptr;
  uint32_t room = (1u << shape.rootLimit) + kSubTableRoom;
  if (!AllocBlock(platform, room * static_cast<uint32_t>(sizeof(DecodeEntry)), &block)) {
    return TABLE_NO_MEMORY;
  }
  uint32_t total = LayOutTables(shape, map, block, room, &built);
  if (total == 0 || total == kTooManyEntries) {
    FreeBlock(platform, &block);
    total = LayOutTables(shape, map, nullptr, 0, &built);
    // Only a sparse incomplete code with 16-bit lengths needs more entries
    // than a table can hold; no stream can send one, and none is built.
    if (total == 0) return free != 0 ? TABLE_INCOMPLETE : TABLE_NO_MEMORY;
    if (!AllocBlock(platform, total * static_cast<uint32_t>(sizeof(DecodeEntry)), &block)) {
      return TABLE_NO_MEMORY;
    }
    LayOutTables(shape, map, block, total, &built);
  }
  *table = block;
  *width = built;
  return free != 0 && shape.longest != 1 ? TABLE_INCOMPLETE : TABLE_OK;
}

void FreeDecodeTable(Platform& platform, DecodeEntry** table) {
  FreeBlock(platform, table);
}

}  // namespace setup
