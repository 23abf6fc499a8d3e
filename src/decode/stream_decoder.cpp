// Stream decoding: block structure, Huffman codes, the window and the input.
//
// Two paths share the decoder's state. The fast path runs while at least 8
// input bytes are buffered: it refills a 64-bit bit buffer with one unaligned
// load, which leaves enough bits for a whole literal or match, and copies
// matches a word at a time. It never needs more input or more room than it
// has, so it needs no checks inside a symbol. The careful path decodes one
// symbol at a time, byte by byte, and handles everything near the ends: the
// last bytes of an input block, the end of the input, and truncated streams.
//
// Missing input reads as zero bytes, counted in overrun_. A stream that uses
// any of their bits was cut short and fails; since they only ever sit above
// the real bits, that is exactly when fewer bits are left than zeros supplied.
//
// The bit buffer may hold, above its counted bits, copies of the next unread
// input bytes (the fast refill loads a whole word). Adding those bytes later
// ORs the same bits again, so this is harmless; only a stored block, which
// takes input bytes around the bit buffer, clears it.
#include "decode/stream_decoder.h"

#include <bit>
#include <cstring>

#include "base/memory.h"

namespace setup {

static_assert(std::endian::native == std::endian::little, "the bit buffer loads little-endian words");

namespace {

constexpr uint32_t kInputBlock = 4096;
constexpr uint32_t kWindowSize = 32768;
// New output collects behind one window of history for this many windows
// before the history is moved back to the front.
constexpr uint32_t kOutputWindows = 4;
constexpr uint32_t kBufferEnd = kWindowSize * (1 + kOutputWindows);
// Room past the end for a match that starts just before it, plus word overrun.
constexpr uint32_t kSlack = 512;
constexpr uint32_t kMaxMatch = 258;
// The fast path copies a match 16 bytes at a time, and may store up to 15
// bytes past its end.
static_assert(kSlack >= kMaxMatch + 15, "a match started before the end fits in the slack");

// First-level widths of the dynamic tables: wide enough that nearly every
// literal/length and distance code resolves in one lookup.
constexpr int kDynamicLiteralBits = 11;
constexpr int kDynamicDistanceBits = 8;

constexpr unsigned kMaxLiteralCodes = 286;
constexpr unsigned kMaxDistanceCodes = 30;

// A table that cannot be built fails the stream: an incomplete code is bad
// data, an over-subscribed one a bad block. The two families number these
// alike on purpose, so that the conversion costs nothing in the stub; the
// asserts keep them in step.
static_assert(static_cast<int>(TABLE_OK) == static_cast<int>(STREAM_OK));
static_assert(static_cast<int>(TABLE_INCOMPLETE) == static_cast<int>(STREAM_BAD_DATA));
static_assert(static_cast<int>(TABLE_OVERSUBSCRIBED) == static_cast<int>(STREAM_BAD_BLOCK));
static_assert(static_cast<int>(TABLE_NO_MEMORY) == static_cast<int>(STREAM_NO_MEMORY));
constexpr StreamResult TableFailure(TableResult built) { return static_cast<StreamResult>(built); }

// Decodes every index as an invalid code: stands in for a code with no lengths.
constexpr DecodeEntry kNoCode[1] = {{kOpInvalid, 0, 0}};

inline uint64_t LoadWord(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void StoreWord(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }

inline uint32_t LowBits(uint64_t bits, unsigned count) {
  return static_cast<uint32_t>(bits) & ((1u << count) - 1);
}

}  // namespace

StreamDecoder::StreamDecoder(Platform& platform, CountedReader* reader)
    : platform_(platform), reader_(reader) {
  // Length symbols 257-284: bases step by 1 (8 times), then 2, 4, 8, 16 (4 times
  // each) and 32 (3 times); symbol 285 is 258. Extra bits follow the steps.
  uint16_t base = 3;
  for (unsigned i = 0; i < 28; ++i) {
    unsigned extra = i < 8 ? 0 : (i - 4) / 4;
    lengthBase_[i] = base;
    lengthExtra_[i] = static_cast<uint8_t>(extra);
    base = static_cast<uint16_t>(base + (1u << extra));
  }
  lengthBase_[28] = 258;
  lengthExtra_[28] = 0;
  // Symbols 286 and 287 have codes only in the fixed code and mean nothing.
  for (unsigned i = 29; i < 31; ++i) {
    lengthBase_[i] = 0;
    lengthExtra_[i] = kOpInvalid;
  }
  // Distance codes: 0-3 have no extra bits, then (code - 2) / 2; the base
  // grows by 2^extra.
  base = 1;
  for (unsigned i = 0; i < 30; ++i) {
    unsigned extra = i < 4 ? 0 : (i - 2) / 2;
    distanceBase_[i] = base;
    distanceExtra_[i] = static_cast<uint8_t>(extra);
    base = static_cast<uint16_t>(base + (1u << extra));
  }
  // Code-length code lengths arrive for symbols 18, 17, 16, then 0 to 15.
  for (unsigned i = 0; i < 19; ++i) {
    codeLengthOrder_[i] = static_cast<uint8_t>(i < 3 ? 18 - i : i - 3);
  }
}

StreamDecoder::~StreamDecoder() {
  CloseInput();
  ReleaseBuffers();
}

void StreamDecoder::ReleaseBuffers() { FreeBlock(platform_, &window_); }

// ---------------------------------------------------------------------------
// Entry points

DecodeResult StreamDecoder::DecodeToMemory(void* destination, uint32_t capacity,
                                           FileHandle input, uint32_t limit) {
  MemorySink sink(destination, capacity);
  return Decode(sink, input, limit);
}

DecodeResult StreamDecoder::DecodeToFile(FileHandle output, FileHandle input, uint32_t limit) {
  FileSink sink(platform_, output);
  return Decode(sink, input, limit);
}

DecodeResult StreamDecoder::Decode(OutputSink& sink, FileHandle input, uint32_t limit) {
  lastResult_ = input == kInvalidFile ? STREAM_BAD_DATA : STREAM_NO_MEMORY;
  if (!OpenInput(input, limit)) return DECODE_FAILED;
  lastResult_ = STREAM_BAD_DATA;
  if (!sink.IsReady()) {
    CloseInput();
    return DECODE_FAILED;
  }
  sink_ = &sink;
  lastResult_ = DecodeStream();
  sink_ = nullptr;
  CloseInput();
  if (lastResult_ == STREAM_OK) return DECODE_OK;
  return lastResult_ == STREAM_ABORTED ? DECODE_ABORTED : DECODE_FAILED;
}

// ---------------------------------------------------------------------------
// Input

bool StreamDecoder::OpenInput(FileHandle input, uint32_t limit) {
  if (input == kInvalidFile) return false;
  if (!AllocZeroedBlock(platform_, kInputBlock, &inputBuffer_)) return false;
  readPos_ = inputBuffer_;
  bytesLeft_ = 0;
  input_ = input;
  inputLimit_ = limit;
  directBytes_ = 0;
  aborted_ = false;
  bitBuffer_ = 0;
  bitCount_ = 0;
  overrun_ = 0;
  return true;
}

// Gives back what was fetched but not used: the buffered bytes and the whole
// bytes still in the bit buffer. The most recent reads go back first: those
// made straight from the file after the limit ran out, then counted ones.
void StreamDecoder::CloseInput() {
  if (input_ != kInvalidFile && !aborted_) {
    uint32_t heldBytes = bitCount_ / 8;
    uint32_t unused = bytesLeft_ + (heldBytes > overrun_ ? heldBytes - overrun_ : 0);
    uint32_t direct = unused < directBytes_ ? unused : directBytes_;
    if (direct != 0) platform_.SetFilePointer(input_, -static_cast<int32_t>(direct), kFileCurrent);
    if (unused > direct && reader_ != nullptr) reader_->UnreadCounted(input_, unused - direct);
  }
  FreeBlock(platform_, &inputBuffer_);
  readPos_ = nullptr;
  bytesLeft_ = 0;
  lastInput_ = input_;
  input_ = kInvalidFile;
}

bool StreamDecoder::FillInput() {
  readPos_ = inputBuffer_;
  bytesLeft_ = 0;
  uint32_t got = 0;
  if (inputLimit_ != 0) {
    uint32_t request = inputLimit_ < kInputBlock ? inputLimit_ : kInputBlock;
    if (reader_ == nullptr || !reader_->ReadCounted(&input_, inputBuffer_, request, &got)) {
      aborted_ = true;
      return false;
    }
    if (got > request) got = request;
    inputLimit_ -= got;  // reaching 0 means: from here on, straight from the file
  } else {
    if (!platform_.ReadFile(input_, inputBuffer_, kInputBlock, &got) || got > kInputBlock) got = 0;
    directBytes_ += got;
  }
  bytesLeft_ = got;
  return got != 0;
}

// Makes at least `count` (at most 32) bits available, supplying zero bytes
// once the input has ended. Fails when the stream has already used a supplied
// zero bit (it is cut short) or the counted input failed.
bool StreamDecoder::NeedBits(unsigned count) {
  while (bitCount_ < count) {
    if (bytesLeft_ == 0 && (overrun_ != 0 || !FillInput())) {
      if (aborted_ || StreamTruncated()) return false;
      ++overrun_;
      bitCount_ += 8;
      continue;
    }
    bitBuffer_ |= static_cast<uint64_t>(*readPos_++) << bitCount_;
    --bytesLeft_;
    bitCount_ += 8;
  }
  return true;
}

uint32_t StreamDecoder::TakeBits(unsigned count) {
  uint32_t value = LowBits(bitBuffer_, count);
  DropBits(count);
  return value;
}

void StreamDecoder::DropBits(unsigned count) {
  bitBuffer_ >>= count;
  bitCount_ -= count;
}

bool StreamDecoder::StreamTruncated() const { return bitCount_ < overrun_ * 8; }

// ---------------------------------------------------------------------------
// Output

bool StreamDecoder::FlushWindows() {
  while (outPos_ - flushed_ >= kWindowSize) {
    if (!sink_->Write(window_ + flushed_, kWindowSize)) {
      sinkFailed_ = true;
      return false;
    }
    flushed_ += kWindowSize;
    if (flushed_ == kBufferEnd) {
      // Keep the last window as history at the front, with what follows it.
      uint32_t from = flushed_ - kWindowSize;
      std::memmove(window_, window_ + from, outPos_ - from);
      historyDirty_ = true;
      outPos_ -= from;
      flushed_ -= from;
    }
  }
  return true;
}

bool StreamDecoder::PutByte(uint8_t byte) {
  window_[outPos_++] = byte;
  return outPos_ - flushed_ < kWindowSize || FlushWindows();
}

bool StreamDecoder::CopyMatch(uint32_t length, uint32_t distance) {
  while (length-- > 0) {
    if (!PutByte(window_[outPos_ - distance])) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Blocks

StreamResult StreamDecoder::DecodeStream() {
  fixedLiterals_ = nullptr;
  fixedDistances_ = nullptr;
  fixedLiteralBits_ = 0;
  fixedDistanceBits_ = 0;
  sinkFailed_ = false;
  // The window buffer is kept from one stream to the next (a setup decodes
  // thousands of files); each stream starts with zeroed history.
  if (window_ == nullptr) {
    if (!AllocBlock(platform_, kBufferEnd + kSlack, &window_)) return STREAM_NO_MEMORY;
    historyDirty_ = true;
  }
  // Output starts behind the history window, which only a slide writes to:
  // most streams leave it zero for the next.
  if (historyDirty_) {
    std::memset(window_, 0, kWindowSize);
    historyDirty_ = false;
  }
  outPos_ = kWindowSize;
  flushed_ = kWindowSize;

  StreamResult result = STREAM_OK;
  bool final = false;
  while (result == STREAM_OK && !final) {
    if (!NeedBits(4)) {
      result = STREAM_BAD_DATA;
      break;
    }
    uint32_t header = TakeBits(4);
    final = (header & 8) != 0;
    switch (header & 7) {
      case 5: result = DecodeFixedBlock(); break;
      case 6: result = DecodeDynamicBlock(); break;
      case 7: result = DecodeStoredBlock(); break;
      default: result = STREAM_BAD_BLOCK; break;
    }
  }
  // Bits read past the end of the input make any outcome a cut-short stream,
  // whatever they happened to decode to.
  if (result != STREAM_NO_MEMORY && StreamTruncated()) result = STREAM_BAD_DATA;
  if (result == STREAM_OK && !sink_->Write(window_ + flushed_, outPos_ - flushed_)) {
    result = STREAM_BAD_DATA;
  }
  FreeDecodeTable(platform_, &fixedLiterals_);
  FreeDecodeTable(platform_, &fixedDistances_);
  if (aborted_) result = STREAM_ABORTED;
  return result;
}

StreamResult StreamDecoder::DecodeStoredBlock() {
  DropBits(bitCount_ % 8);
  if (!NeedBits(16)) return STREAM_BAD_DATA;
  uint32_t length = TakeBits(16);
  // Whole bytes already in the bit buffer come first...
  while (length > 0 && bitCount_ >= 8) {
    if (bitCount_ - 8 < overrun_ * 8) return STREAM_BAD_DATA;
    if (!PutByte(static_cast<uint8_t>(TakeBits(8)))) return STREAM_BAD_DATA;
    --length;
  }
  if (length == 0) return STREAM_OK;
  // ...then the rest straight from the input.
  bitBuffer_ = 0;
  while (length > 0) {
    if (bytesLeft_ == 0 && (overrun_ != 0 || !FillInput())) return STREAM_BAD_DATA;
    uint32_t room = flushed_ + kWindowSize - outPos_;
    uint32_t n = length < bytesLeft_ ? length : bytesLeft_;
    if (n > room) n = room;
    std::memcpy(window_ + outPos_, readPos_, n);
    outPos_ += n;
    readPos_ += n;
    bytesLeft_ -= n;
    length -= n;
    if (outPos_ - flushed_ >= kWindowSize && !FlushWindows()) return STREAM_BAD_DATA;
  }
  return STREAM_OK;
}

StreamResult StreamDecoder::DecodeFixedBlock() {
  if (fixedLiterals_ == nullptr) {
    uint8_t lengths[288];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 112);
    std::memset(lengths + 256, 7, 24);
    std::memset(lengths + 280, 8, 8);
    fixedLiteralBits_ = 7;
    TableResult built = BuildDecodeTable(platform_, lengths, 288, 257, lengthBase_,
                                         lengthExtra_, &fixedLiterals_, &fixedLiteralBits_);
    if (built != TABLE_OK) {
      FreeDecodeTable(platform_, &fixedLiterals_);
      return TableFailure(built);
    }
    // Only 30 of the 32 five-bit patterns have a distance: incomplete by design.
    std::memset(lengths, 5, 30);
    fixedDistanceBits_ = 5;
    built = BuildDecodeTable(platform_, lengths, 30, 0, distanceBase_, distanceExtra_,
                             &fixedDistances_, &fixedDistanceBits_);
    if (built != TABLE_OK && built != TABLE_INCOMPLETE) {
      FreeDecodeTable(platform_, &fixedLiterals_);
      FreeDecodeTable(platform_, &fixedDistances_);
      return TableFailure(built);
    }
  }
  return DecodeCodes(fixedLiterals_, fixedLiteralBits_, fixedDistances_, fixedDistanceBits_) ==
                 STREAM_OK
             ? STREAM_OK
             : STREAM_BAD_DATA;
}

StreamResult StreamDecoder::DecodeDynamicBlock() {
  if (!NeedBits(14)) return STREAM_BAD_DATA;
  unsigned literalCount = TakeBits(5) + 257;
  unsigned distanceCount = TakeBits(5) + 1;
  unsigned codeLengthCount = TakeBits(4) + 4;
  if (literalCount > kMaxLiteralCodes || distanceCount > kMaxDistanceCodes) {
    return STREAM_BAD_DATA;
  }

  uint8_t codeLengths[19] = {};
  for (unsigned i = 0; i < codeLengthCount; ++i) {
    if (!NeedBits(3)) return STREAM_BAD_DATA;
    codeLengths[codeLengthOrder_[i]] = static_cast<uint8_t>(TakeBits(3));
  }
  uint8_t lengths[kMaxLiteralCodes + kMaxDistanceCodes];
  StreamResult result = DecodeCodeLengths(codeLengths, lengths, literalCount + distanceCount);
  if (result != STREAM_OK) return result;

  DecodeEntry* literals = nullptr;
  DecodeEntry* distances = nullptr;
  int literalBits = kDynamicLiteralBits;
  int distanceBits = kDynamicDistanceBits;
  TableResult built = BuildDecodeTable(platform_, lengths, literalCount, 257, lengthBase_,
                                       lengthExtra_, &literals, &literalBits);
  if (built == TABLE_OK) {
    built = BuildDecodeTable(platform_, lengths + literalCount, distanceCount, 0,
                             distanceBase_, distanceExtra_, &distances, &distanceBits);
  }
  result = TableFailure(built);
  if (built == TABLE_OK) {
    result = DecodeCodes(literals, literalBits, distances, distanceBits) == STREAM_OK
                 ? STREAM_OK
                 : STREAM_BAD_DATA;
  }
  FreeDecodeTable(platform_, &literals);
  FreeDecodeTable(platform_, &distances);
  return result;
}

// Reads `count` run-length coded code lengths (literal/length, then distance)
// with the code-length code given by `codeLengths`.
StreamResult StreamDecoder::DecodeCodeLengths(const uint8_t* codeLengths, uint8_t* lengths,
                                              unsigned count) {
  DecodeEntry* table = nullptr;
  int tableBits = 7;
  TableResult built = BuildDecodeTable(platform_, codeLengths, 19, 19, nullptr, nullptr, &table,
                                       &tableBits);
  if (built != TABLE_OK) {
    FreeDecodeTable(platform_, &table);
    return TableFailure(built);
  }
  StreamResult result = STREAM_OK;
  if (table == nullptr) return STREAM_BAD_DATA;  // no code-length codes at all

  unsigned previous = 0;
  unsigned filled = 0;
  while (filled < count) {
    DecodeEntry entry;
    if (!DecodeSymbol(table, tableBits, &entry)) {
      result = STREAM_BAD_DATA;
      break;
    }
    unsigned symbol = entry.value;
    if (symbol < 16) {
      lengths[filled++] = static_cast<uint8_t>(symbol);
      previous = symbol;
      continue;
    }
    unsigned repeat;
    unsigned value = 0;
    if (symbol == 16) {
      if (!NeedBits(2)) { result = STREAM_BAD_DATA; break; }
      repeat = 3 + TakeBits(2);
      value = previous;
    } else if (symbol == 17) {
      if (!NeedBits(3)) { result = STREAM_BAD_DATA; break; }
      repeat = 3 + TakeBits(3);
    } else {
      if (!NeedBits(7)) { result = STREAM_BAD_DATA; break; }
      repeat = 11 + TakeBits(7);
    }
    previous = value;
    if (filled + repeat > count) {
      result = STREAM_BAD_DATA;
      break;
    }
    std::memset(lengths + filled, static_cast<int>(value), repeat);
    filled += repeat;
  }
  FreeDecodeTable(platform_, &table);
  return result;
}

// ---------------------------------------------------------------------------
// Codes

// Looks up one symbol, following sub-table links. False for an invalid code
// or input that ran out.
bool StreamDecoder::DecodeSymbol(const DecodeEntry* table, int rootBits, DecodeEntry* entry) {
  if (!NeedBits(static_cast<unsigned>(rootBits))) return false;
  DecodeEntry e = table[LowBits(bitBuffer_, static_cast<unsigned>(rootBits))];
  while (e.op > kOpLiteral) {
    if (e.op == kOpInvalid) return false;
    DropBits(e.bits);
    unsigned subBits = e.op - kOpLinkBase;
    if (!NeedBits(subBits)) return false;
    e = table[e.value + LowBits(bitBuffer_, subBits)];
  }
  DropBits(e.bits);
  *entry = e;
  return true;
}

StreamResult StreamDecoder::DecodeCodes(const DecodeEntry* literals, int literalBits,
                                        const DecodeEntry* distances, int distanceBits) {
  if (literals == nullptr) {
    literals = kNoCode;
    literalBits = 0;
  }
  if (distances == nullptr) {
    distances = kNoCode;
    distanceBits = 0;
  }
  for (;;) {
    bool endOfBlock = false;
    StreamResult result =
        DecodeCodesFast(literals, literalBits, distances, distanceBits, &endOfBlock);
    if (result != STREAM_OK || endOfBlock) return result;

    // Near the end of the buffered input: one symbol the careful way.
    DecodeEntry entry;
    if (!DecodeSymbol(literals, literalBits, &entry)) return STREAM_BAD_DATA;
    if (entry.op == kOpLiteral) {
      if (!PutByte(static_cast<uint8_t>(entry.value))) return STREAM_BAD_DATA;
      continue;
    }
    if (entry.op == kOpEndOfBlock) return STREAM_OK;
    if (!NeedBits(entry.op)) return STREAM_BAD_DATA;
    uint32_t length = entry.value + TakeBits(entry.op);
    if (!DecodeSymbol(distances, distanceBits, &entry) || entry.op > 13) return STREAM_BAD_DATA;
    if (!NeedBits(entry.op)) return STREAM_BAD_DATA;
    uint32_t distance = entry.value + TakeBits(entry.op);
    if (!CopyMatch(length, distance)) return STREAM_BAD_DATA;
  }
}

// Decodes symbols while at least 8 input bytes are buffered. One refill gives
// at least 56 bits: enough for the longest literal/length code (15 bits), its
// extra bits (5), a distance code (15) and its extra bits (13), or for three
// literals. Output may run up to a match past the current window, into the
// slack, before it is flushed.
//
// Entries are read as one 32-bit word: op in the low byte, bits in the next,
// value in the high half.
constexpr unsigned kRefillBits = 56;  // a refill sets count |= 56
static_assert(15 + 5 + 15 + 13 <= kRefillBits, "one refill holds a whole match");
static_assert(3 * 15 <= kRefillBits, "one refill holds three literals");

StreamResult StreamDecoder::DecodeCodesFast(const DecodeEntry* literals, int literalBits,
                                            const DecodeEntry* distances, int distanceBits,
                                            bool* endOfBlock) {
  if (overrun_ != 0) return STREAM_OK;
  const uint32_t literalMask = (1u << literalBits) - 1;
  const uint32_t distanceMask = (1u << distanceBits) - 1;
  const uint8_t* in = readPos_;
  const uint8_t* const inEnd = readPos_ + bytesLeft_;
  uint64_t bits = bitBuffer_;
  unsigned count = bitCount_;
  StreamResult result = STREAM_OK;
  uint8_t* out = window_ + outPos_;

  auto entryAt = [](const DecodeEntry* table, uint32_t index) {
    uint32_t e;
    std::memcpy(&e, table + index, sizeof e);
    return e;
  };
  auto consume = [&](unsigned n) {
    bits >>= n;
    count -= n;
  };
  // Follows sub-table links; false for an invalid code.
  auto resolve = [&](const DecodeEntry* table, uint32_t* e) {
    while ((*e & 0xFF) > kOpLiteral) {
      if ((*e & 0xFF) == kOpInvalid) return false;
      consume((*e >> 8) & 0xFF);
      uint32_t sub = (*e & 0xFF) - kOpLinkBase;
      *e = entryAt(table, (*e >> 16) + LowBits(bits, sub));
    }
    return true;
  };

  while (inEnd - in >= 8) {
    uint8_t* const chunkEnd = window_ + flushed_ + kWindowSize;
    while (out < chunkEnd && inEnd - in >= 8) {
      bits |= LoadWord(in) << count;
      in += (63 - count) >> 3;
      count |= 56;

      uint32_t e = entryAt(literals, static_cast<uint32_t>(bits) & literalMask);
      if ((e & 0xFF) == kOpLiteral) {
        // Up to three literals on one refill.
        consume((e >> 8) & 0xFF);
        *out++ = static_cast<uint8_t>(e >> 16);
        e = entryAt(literals, static_cast<uint32_t>(bits) & literalMask);
        if ((e & 0xFF) == kOpLiteral) {
          consume((e >> 8) & 0xFF);
          *out++ = static_cast<uint8_t>(e >> 16);
          e = entryAt(literals, static_cast<uint32_t>(bits) & literalMask);
          if ((e & 0xFF) == kOpLiteral) {
            consume((e >> 8) & 0xFF);
            *out++ = static_cast<uint8_t>(e >> 16);
            continue;
          }
        }
        // The entry in hand stays valid: a refill only adds bits above.
        if (inEnd - in < 8) break;
        bits |= LoadWord(in) << count;
        in += (63 - count) >> 3;
        count |= 56;
      }
      if ((e & 0xFF) > kOpLiteral) {
        if (!resolve(literals, &e)) goto bad;
        if ((e & 0xFF) == kOpLiteral) {
          consume((e >> 8) & 0xFF);
          *out++ = static_cast<uint8_t>(e >> 16);
          continue;
        }
      }
      if ((e & 0xFF) == kOpEndOfBlock) {
        consume((e >> 8) & 0xFF);
        *endOfBlock = true;
        goto done;
      }
      consume((e >> 8) & 0xFF);
      uint32_t length = (e >> 16) + LowBits(bits, e & 0xFF);
      consume(e & 0xFF);

      e = entryAt(distances, static_cast<uint32_t>(bits) & distanceMask);
      if ((e & 0xFF) > kOpLiteral && !resolve(distances, &e)) goto bad;
      if ((e & 0xFF) > 13) goto bad;
      consume((e >> 8) & 0xFF);
      uint32_t distance = (e >> 16) + LowBits(bits, e & 0xFF);
      consume(e & 0xFF);

      // The history before `out` is contiguous and at least one window long.
      const uint8_t* from = out - distance;
      uint8_t* const stop = out + length;
      if (distance >= 8) {
        StoreWord(out, LoadWord(from));
        StoreWord(out + 8, LoadWord(from + 8));
        if (length > 16) {
          out += 16;
          from += 16;
          do {
            StoreWord(out, LoadWord(from));
            StoreWord(out + 8, LoadWord(from + 8));
            from += 16;
            out += 16;
          } while (out < stop);
        }
      } else if (distance == 1) {
        const uint64_t fill = 0x0101010101010101ull * *from;
        do {
          StoreWord(out, fill);
          out += 8;
        } while (out < stop);
      } else {
        do {
          *out++ = *from++;
        } while (out < stop);
      }
      out = stop;
    }
    outPos_ = static_cast<uint32_t>(out - window_);
    if (outPos_ - flushed_ >= kWindowSize) {
      if (!FlushWindows()) {
        result = STREAM_BAD_DATA;
        goto done;
      }
      out = window_ + outPos_;
    }
  }
  goto done;

bad:
  result = STREAM_BAD_DATA;
done:
  outPos_ = static_cast<uint32_t>(out - window_);
  readPos_ = in;
  bytesLeft_ = static_cast<uint32_t>(inEnd - in);
  bitBuffer_ = bits;
  bitCount_ = count;
  if (result == STREAM_OK && *endOfBlock && outPos_ - flushed_ >= kWindowSize &&
      !FlushWindows()) {
    result = STREAM_BAD_DATA;
  }
  return result;
}

}  // namespace setup
