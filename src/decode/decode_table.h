// Table-driven decoding of canonical Huffman codes.
//
// A code is decoded by looking up the next `width` bits of input (first bit in
// the lowest position) in the first-level table. The entry either resolves the
// symbol (op and value), or links to a sub-table that the next op - 16 bits
// index. Every position of every table is filled: bit patterns that no symbol
// uses (the free patterns of an incomplete code) decode to kOpInvalid.
//
// All tables of one code share a single block, the first-level table at its
// start; a link holds the index of its sub-table inside that block. One
// allocation per code keeps entries at four bytes and frees in one call.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Entry kinds: an op of 0-13 is a length or distance symbol with that many extra
// bits (value = base), which come right after the code and are counted in the
// entry's bits; the others are below.
constexpr uint8_t kOpEndOfBlock = 15;
constexpr uint8_t kOpLiteral = 16;       // value = the byte
constexpr uint8_t kOpLinkBase = 16;      // 17-32: link to a sub-table of op - 16 bits
constexpr uint8_t kOpInvalid = 100;      // no symbol has this code

// The bit count comes first: read as one little-endian 32-bit word, an entry
// has the bits to drop in its low byte, ready to serve as a shift count.
struct DecodeEntry {
  uint8_t bits;    // input bits this entry accounts for at its table level,
                   // with the extra bits of a length or distance symbol
  uint8_t op;
  uint16_t value;  // literal, base value, or the sub-table's index for a link
};
static_assert(sizeof(DecodeEntry) == 4);

// Results of BuildDecodeTable.
enum TableResult : int {
  TABLE_OK = 0,
  TABLE_INCOMPLETE = 1,
  TABLE_OVERSUBSCRIBED = 2,
  TABLE_NO_MEMORY = 3,
};

// Builds the decoding tables for `count` code lengths (each 0-16, count at most
// 288). Symbols below `simple` decode to themselves (a literal below 256, end of
// block for 256); symbol simple + k decodes to op extras[k] and value bases[k].
// On entry *width is the wanted first-level width; on return it is the width
// built. All lengths 0 gives a null table and width 0. An incomplete code is
// built (its free patterns invalid) and reported, except a lone code of
// length 1, which counts as complete.
TableResult BuildDecodeTable(Platform& platform, const uint8_t* lengths, unsigned count,
                             unsigned simple, const uint16_t* bases, const uint8_t* extras,
                             DecodeEntry** table, int* width);

// Frees a table from BuildDecodeTable (null is accepted) and nulls the pointer.
void FreeDecodeTable(Platform& platform, DecodeEntry** table);

}  // namespace setup
