// Stream decoding: block structure, Huffman codes, the window and the input.
//
// Two paths share the decoder's state. The fast path runs while at least 15
// input bytes are buffered, enough for the two refills an iteration makes:
// it refills a 64-bit bit buffer with one unaligned load, which leaves enough
// bits for a whole literal or match, and copies matches a word at a time. It
// never needs more input or more room than it has, so it needs no checks
// inside an iteration. The last bytes of an input block are carried in front
// of the next, so the fast path goes on across blocks. The careful path
// decodes one symbol at a time, byte by byte, and handles the end of the
// input and truncated streams.
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

#include <algorithm>
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

// Budgets of the fast path. A refill loads a word at the read position and
// leaves at least kRefillBits counted bits; all 64 bits of the buffer then
// hold real input, those above the count being the next unread bytes. So
// after dropping n bits since the last refill, 64 - n bits are real, and an
// entry may be looked up before the bits under it are counted.
constexpr unsigned kBitBufferBits = 64;
constexpr unsigned kRefillBits = kBitBufferBits - 8;
constexpr uint32_t kRefillInput = sizeof(uint64_t);
// An iteration of the fast path refills at most twice, each time taking at
// most 7 bytes and loading 8.
constexpr uint32_t kFastInput = 2 * kRefillInput - 1;
// Bytes of one block carried in front of the next: fewer than an iteration needs.
constexpr uint32_t kInputCarry = 16;
static_assert(kFastInput <= kInputCarry);
constexpr unsigned kMaxCodeLength = 15;  // code-length symbols go up to 15
constexpr unsigned kMaxLengthExtra = 5;
constexpr unsigned kMaxDistanceExtra = 13;
constexpr unsigned kMaxExtraOp = 13;
constexpr unsigned kMatchBits = 2 * kMaxCodeLength + kMaxLengthExtra + kMaxDistanceExtra;
constexpr uint32_t kMaxMatch = 258;
// A match copy writes 40 bytes at once, then whole words: at most 37 bytes
// past the end of a match (of at least 3 bytes).
constexpr uint32_t kUnrolledCopy = 40;
constexpr uint32_t kCopyOverrun = kUnrolledCopy - 3;

// First-level widths of the dynamic tables: wide enough that nearly every
// literal/length and distance code resolves in one lookup.
constexpr int kDynamicLiteralBits = 11;
constexpr int kDynamicDistanceBits = 8;
constexpr int kFixedLiteralBits = 7;
constexpr int kFixedDistanceBits = 5;

// One refill serves a whole match, or three literals, and the literal/length
// entry after either can be looked up from the bits still real.
static_assert(kMatchBits <= kRefillBits);
static_assert(3 * kMaxCodeLength <= kRefillBits);
static_assert(2 * kMaxCodeLength + kMaxCodeLength + kMaxLengthExtra <= kRefillBits);
static_assert(kFixedLiteralBits <= kDynamicLiteralBits);
static_assert(kMatchBits + kDynamicLiteralBits <= kBitBufferBits);
static_assert(3 * kMaxCodeLength + kDynamicLiteralBits <= kBitBufferBits);
// An iteration starts below the window's end and writes at most two literals
// and a match with its overrun (or three literals).
static_assert(2 + kMaxMatch + kCopyOverrun <= kSlack);

constexpr unsigned kMaxLiteralCodes = 286;
constexpr unsigned kMaxCodeLengthCode = 7;  // lengths of the code-length code are 3-bit fields
constexpr unsigned kMaxRepeatBits = 7;      // the repeat count of symbol 18
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
constexpr DecodeEntry kNoCode[1] = {{0, kOpInvalid, 0}};

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
  destination_ = static_cast<uint8_t*>(destination);
  destinationSize_ = capacity;
  DecodeResult result = Decode(sink, input, limit);
  destination_ = nullptr;
  return result;
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
  if (!AllocZeroedBlock(platform_, kInputCarry + kInputBlock, &inputBuffer_)) return false;
  readPos_ = inputBuffer_ + kInputCarry;
  bytesLeft_ = 0;
  input_ = input;
  inputLimit_ = limit;
  directBytes_ = 0;
  aborted_ = false;
  moreInput_ = false;
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

// Reads the next block behind the bytes still buffered (fewer than
// kInputCarry), which move to just before it, so that the fast path finds
// the input contiguous across the blocks.
bool StreamDecoder::FillInput() {
  uint8_t* const block = inputBuffer_ + kInputCarry;
  const uint32_t kept = bytesLeft_ < kInputCarry ? bytesLeft_ : 0;
  std::memmove(block - kept, readPos_, kept);
  readPos_ = block - kept;
  bytesLeft_ = kept;
  uint32_t got = 0;
  if (inputLimit_ != 0) {
    uint32_t request = inputLimit_ < kInputBlock ? inputLimit_ : kInputBlock;
    if (reader_ == nullptr || !reader_->ReadCounted(&input_, block, request, &got)) {
      aborted_ = true;
      return false;
    }
    if (got > request) got = request;
    inputLimit_ -= got;  // reaching 0 means: from here on, straight from the file
  } else {
    if (!platform_.ReadFile(input_, block, kInputBlock, &got) || got > kInputBlock) got = 0;
    directBytes_ += got;
  }
  moreInput_ = got == kInputBlock;
  bytesLeft_ += got;
  return got != 0;
}

// Makes at least `count` (at most 32) bits available, supplying zero bytes
// once the input has ended. Fails when the stream has already used a supplied
// zero bit (it is cut short) or the counted input failed.
bool StreamDecoder::NeedBits(unsigned count) {
  if (bitCount_ >= count) return true;
  if (bytesLeft_ >= kRefillInput) {
    // Whole bytes by one load, as the fast path refills.
    bitBuffer_ |= LoadWord(readPos_) << bitCount_;
    uint32_t taken = (kBitBufferBits - 1 - bitCount_) >> 3;
    readPos_ += taken;
    bytesLeft_ -= taken;
    bitCount_ |= kRefillBits;
    return true;
  }
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
    if (!sink_->Write(output_ + flushed_, kWindowSize)) {
      sinkFailed_ = true;
      return false;
    }
    flushed_ += kWindowSize;
    if (inDestination_) {
      if (destinationSize_ - flushed_ < kWindowSize + kSlack) LeaveDestination();
    } else if (flushed_ == kBufferEnd) {
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

// Near the destination's end: the last window of output becomes the history
// of the window buffer, followed by what is not flushed yet, and the rest of
// the stream is decoded there. Only a window's worth is ever copied.
void StreamDecoder::LeaveDestination() {
  ClearOverrun();
  uint32_t pending = outPos_ - flushed_;
  std::memcpy(window_, output_ + flushed_ - kWindowSize, kWindowSize + pending);
  historyDirty_ = true;
  inDestination_ = false;
  output_ = window_;
  flushed_ = kWindowSize;
  outPos_ = kWindowSize + pending;
}

// The fast path's word copies write up to kCopyOverrun bytes past the
// output, which in the destination are bytes of the caller's block. Output
// that goes on overwrites them; where it stops, they are cleared, so that
// the block holds the same whichever path decoded the last symbols.
void StreamDecoder::ClearOverrun() {
  uint32_t end = destinationSize_ - outPos_ < kCopyOverrun ? destinationSize_ : outPos_ + kCopyOverrun;
  std::memset(output_ + outPos_, 0, end - outPos_);
}

bool StreamDecoder::PutByte(uint8_t byte) {
  output_[outPos_++] = byte;
  return outPos_ - flushed_ < kWindowSize || FlushWindows();
}

bool StreamDecoder::CopyMatch(uint32_t length, uint32_t distance) {
  while (length-- > 0) {
    // Only in the destination can a match reach before the first byte.
    uint8_t byte = outPos_ >= distance ? output_[outPos_ - distance] : 0;
    if (!PutByte(byte)) return false;
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
  // The first flush into the destination must leave a window and a match's
  // slack before its end.
  inDestination_ = destination_ != nullptr && destinationSize_ >= 2 * kWindowSize + kSlack;
  if (inDestination_) {
    output_ = destination_;
    outPos_ = 0;
  } else {
    // Output starts behind the history window, which only a slide writes to:
    // most streams leave it zero for the next.
    if (historyDirty_) {
      std::memset(window_, 0, kWindowSize);
      historyDirty_ = false;
    }
    output_ = window_;
    outPos_ = kWindowSize;
  }
  flushed_ = outPos_;

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
  if (inDestination_) ClearOverrun();
  if (result == STREAM_OK && !sink_->Write(output_ + flushed_, outPos_ - flushed_)) {
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
    std::memcpy(output_ + outPos_, readPos_, n);
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
    fixedLiteralBits_ = kFixedLiteralBits;
    TableResult built = BuildDecodeTable(platform_, lengths, 288, 257, lengthBase_,
                                         lengthExtra_, &fixedLiterals_, &fixedLiteralBits_);
    if (built != TABLE_OK) {
      FreeDecodeTable(platform_, &fixedLiterals_);
      return TableFailure(built);
    }
    // Only 30 of the 32 five-bit patterns have a distance: incomplete by design.
    std::memset(lengths, 5, 30);
    fixedDistanceBits_ = kFixedDistanceBits;
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
  int tableBits = kMaxCodeLengthCode;
  TableResult built = BuildDecodeTable(platform_, codeLengths, 19, 19, nullptr, nullptr, &table,
                                       &tableBits);
  if (built != TABLE_OK) {
    FreeDecodeTable(platform_, &table);
    return TableFailure(built);
  }
  StreamResult result = STREAM_OK;
  if (table == nullptr) return STREAM_BAD_DATA;  // no code-length codes at all

  // Code-length codes are at most 7 bits long, so the table has no
  // sub-tables, and one fetch serves a code and its repeat count.
  static_assert(kMaxCodeLengthCode + kMaxRepeatBits <= 32);
  const unsigned tableWidth = static_cast<unsigned>(tableBits);
  unsigned previous = 0;
  unsigned filled = 0;
  while (filled < count) {
    if (!NeedBits(kMaxCodeLengthCode + kMaxRepeatBits)) {
      result = STREAM_BAD_DATA;
      break;
    }
    // Symbols are decoded from local copies of the bit buffer while it holds
    // a whole code and its repeat count: the stores into `lengths` could
    // alias the members, which would keep the buffer in memory.
    uint64_t bits = bitBuffer_;
    unsigned have = bitCount_;
    do {
      DecodeEntry entry = table[LowBits(bits, tableWidth)];
      if (entry.op == kOpInvalid) {
        result = STREAM_BAD_DATA;
        break;
      }
      bits >>= entry.bits;
      have -= entry.bits;
      unsigned symbol = entry.value;
      if (symbol < 16) {
        lengths[filled++] = static_cast<uint8_t>(symbol);
        previous = symbol;
        continue;
      }
      // 16 repeats the previous length 3-6 times, 17 and 18 give 3-10 and
      // 11-138 zeros.
      unsigned extra = symbol == 16 ? 2 : symbol == 17 ? 3 : kMaxRepeatBits;
      unsigned repeat = (symbol == 18 ? 11 : 3) + LowBits(bits, extra);
      bits >>= extra;
      have -= extra;
      unsigned value = symbol == 16 ? previous : 0;
      previous = value;
      if (filled + repeat > count) {
        result = STREAM_BAD_DATA;
        break;
      }
      std::memset(lengths + filled, static_cast<int>(value), repeat);
      filled += repeat;
    } while (filled < count && have >= kMaxCodeLengthCode + kMaxRepeatBits);
    bitBuffer_ = bits;
    bitCount_ = have;
    if (result != STREAM_OK) break;
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
  // A length or distance entry counts its extra bits too; they are taken apart.
  DropBits(e.op < kOpEndOfBlock ? e.bits - e.op : e.bits);
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

    // Near the end of the buffered input. After a whole block more input is
    // likely: the next block is read behind the bytes left, and the fast
    // path goes on. Otherwise (the input ends, or arrives in short pieces)
    // one symbol the careful way.
    if (moreInput_ && bytesLeft_ < kFastInput) {
      if (!FillInput() && aborted_) return STREAM_BAD_DATA;
      continue;
    }
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

// Decodes symbols while at least 8 input bytes are buffered, in the manner
// of the fast DEFLATE decoders: a refill tops the 64-bit bit buffer up with
// one unaligned load and no branch; an entry's bits, extra bits included, are
// dropped by one shift as soon as it is read, before its kind is known, and
// the extra bits are then taken from the bits saved before that shift; the
// next literal/length entry is looked up as soon as the bits before it are
// dropped, so that the lookup overlaps the work on the current symbol
// (storing a literal, copying a match); up to three literals are decoded per
// refill. Output may run up to a match past the current window, into the
// slack, before it is flushed.
//
// Entries are read as one 32-bit word: bits in the low byte, op in the next,
// value in the high half.

#if defined(__x86_64__) && defined(__GNUC__)
// On x86-64 processors that have them, the BMI2 shifts (any register as the
// count, flags untouched) shorten the loop by about one instruction in
// seven; the same loop is compiled twice and chosen at run time.
#define SETUP_DECODER_BMI2 1
#endif

StreamResult StreamDecoder::DecodeCodesFast(const DecodeEntry* literals, int literalBits,
                                            const DecodeEntry* distances, int distanceBits,
                                            bool* endOfBlock) {
  if (overrun_ != 0) return STREAM_OK;
#ifdef SETUP_DECODER_BMI2
  if (!portableLoop_ && __builtin_cpu_supports("bmi2")) {
    return DecodeCodesFastBmi2(literals, literalBits, distances, distanceBits, endOfBlock);
  }
#endif
  return DecodeCodesFastLoop(literals, literalBits, distances, distanceBits, endOfBlock);
}

#ifdef SETUP_DECODER_BMI2
__attribute__((target("bmi2"))) StreamResult StreamDecoder::DecodeCodesFastBmi2(
    const DecodeEntry* literals, int literalBits, const DecodeEntry* distances,
    int distanceBits, bool* endOfBlock) {
  return DecodeCodesFastLoop(literals, literalBits, distances, distanceBits, endOfBlock);
}
#endif

__attribute__((always_inline)) inline StreamResult StreamDecoder::DecodeCodesFastLoop(
    const DecodeEntry* literals, int literalBits, const DecodeEntry* distances,
    int distanceBits, bool* endOfBlock) {
  const uint32_t literalMask = (1u << literalBits) - 1;
  const uint32_t distanceMask = (1u << distanceBits) - 1;
  const uint8_t* in = readPos_;
  const uint8_t* const inEnd = readPos_ + bytesLeft_;
  uint64_t bits = bitBuffer_;
  uint64_t saved;  // the bit buffer before the last entry's bits were dropped
  // Only the low byte of `count` is the bit count: whole entries are
  // subtracted from it, and their higher bytes borrow only upward.
  uint32_t count = bitCount_;
  StreamResult result = STREAM_OK;
  // The output's first byte; a flush may move the output to the window.
  uint8_t* outStart = output_;
  uint8_t* out = outStart + outPos_;

  auto entryAt = [](const DecodeEntry* table, uint64_t index) {
    uint32_t e;
    std::memcpy(&e, table + static_cast<uint32_t>(index), sizeof e);
    return e;
  };
  auto opOf = [](uint32_t e) { return (e >> 8) & 0xFF; };
  auto inputLeft = [&] { return static_cast<uint32_t>(inEnd - in); };
  // The extra bits of a length or distance entry whose bits were dropped from `from`.
  auto extraOf = [](uint64_t from, uint32_t e) {
    unsigned extra = (e >> 8) & 0xFF;
    return LowBits(from >> ((e & 0xFF) - extra), extra);
  };
  // Needs kRefillInput bytes at `in`; takes only whole bytes that fit.
  auto refill = [&] {
    bits |= LoadWord(in) << (count & (kBitBufferBits - 1));
    in += (kRefillInput - 1) - ((count >> 3) & (kRefillInput - 1));
    count |= kRefillBits;
  };
  auto consume = [&](uint32_t e) {
    saved = bits;
    bits >>= e & 0xFF;
    count -= e;
  };
  // An invalid code fails the block with its bits not taken.
  auto unconsume = [&](uint32_t e) {
    bits = saved;
    count += e;
  };

  while (inputLeft() >= kFastInput) {
    uint8_t* const chunkEnd = outStart + flushed_ + kWindowSize;
    refill();
    uint32_t e = entryAt(literals, bits & literalMask);
    for (;;) {
      // A refill has just been made; e is the literal/length entry at the
      // lowest bits, not yet consumed.
      consume(e);
      if (opOf(e) == kOpLiteral) {
        uint8_t literal = static_cast<uint8_t>(e >> 16);
        e = entryAt(literals, bits & literalMask);
        consume(e);
        *out++ = literal;
        if (opOf(e) == kOpLiteral) {
          literal = static_cast<uint8_t>(e >> 16);
          e = entryAt(literals, bits & literalMask);
          consume(e);
          *out++ = literal;
          if (opOf(e) == kOpLiteral) {
            literal = static_cast<uint8_t>(e >> 16);
            e = entryAt(literals, bits & literalMask);
            *out++ = literal;
            goto next;
          }
        }
        // Two literals and the entry in hand have used at most 2 * 15 + 20
        // bits; the match goes on from a refill.
        refill();
      }
      if (opOf(e) >= kOpEndOfBlock) [[unlikely]] {
        // A link to a sub-table (its first-level bits are dropped), end of
        // block or an invalid code.
        while (opOf(e) > kOpLiteral) {
          if (opOf(e) == kOpInvalid) {
            unconsume(e);
            goto bad;
          }
          e = entryAt(literals, (e >> 16) + LowBits(bits, opOf(e) - kOpLinkBase));
          consume(e);
        }
        if (opOf(e) == kOpLiteral) {
          *out++ = static_cast<uint8_t>(e >> 16);
          e = entryAt(literals, bits & literalMask);
          goto next;
        }
        if (opOf(e) == kOpEndOfBlock) {
          *endOfBlock = true;
          goto done;
        }
      }
      {
        uint32_t length = (e >> 16) + extraOf(saved, e);

        e = entryAt(distances, bits & distanceMask);
        while (opOf(e) > kOpLiteral) [[unlikely]] {
          if (opOf(e) == kOpInvalid) goto bad;
          consume(e);
          e = entryAt(distances, (e >> 16) + LowBits(bits, opOf(e) - kOpLinkBase));
        }
        if (opOf(e) > kMaxExtraOp) [[unlikely]] goto bad;
        consume(e);
        uint32_t distance = (e >> 16) + extraOf(saved, e);
        e = entryAt(literals, bits & literalMask);

        // The history before `out` is contiguous: a window long, or in the
        // destination everything since the stream's start.
        const size_t produced = static_cast<size_t>(out - outStart);
        uint8_t* const stop = out + length;
        if (distance > produced) [[unlikely]] {
          // Before the start of the output the history is zeros; the rest
          // of the match copies from the output's first byte on.
          size_t zeros = std::min<size_t>(length, distance - produced);
          std::memset(out, 0, zeros);
          for (size_t i = zeros; i < length; ++i) out[i] = outStart[produced + i - distance];
        } else {
          const uint8_t* from = out - distance;
          if (distance >= 8) {
            // Most matches are short: five words cover them without a loop.
            StoreWord(out, LoadWord(from));
            StoreWord(out + 8, LoadWord(from + 8));
            StoreWord(out + 16, LoadWord(from + 16));
            StoreWord(out + 24, LoadWord(from + 24));
            StoreWord(out + 32, LoadWord(from + 32));
            out += kUnrolledCopy;
            from += kUnrolledCopy;
            while (out < stop) {
              StoreWord(out, LoadWord(from));
              StoreWord(out + 8, LoadWord(from + 8));
              StoreWord(out + 16, LoadWord(from + 16));
              StoreWord(out + 24, LoadWord(from + 24));
              from += 32;
              out += 32;
            }
          } else if (distance == 1) {
            const uint64_t fill = 0x0101010101010101ull * *from;
            do {
              StoreWord(out, fill);
              out += 8;
            } while (out < stop);
          } else {
            // Shorter distances overlap within a word: each step copies a word
            // of which the first `distance` bytes are right, then moves on by
            // `distance`, so every byte is written after its source.
            do {
              StoreWord(out, LoadWord(from));
              out += distance;
              from += distance;
            } while (out < stop);
          }
        }
        out = stop;
      }
    next:
      if (out >= chunkEnd || inputLeft() < kFastInput) [[unlikely]] break;
      refill();
    }
    outPos_ = static_cast<uint32_t>(out - outStart);
    if (outPos_ - flushed_ >= kWindowSize) {
      if (!FlushWindows()) {
        result = STREAM_BAD_DATA;
        goto done;
      }
      outStart = output_;
      out = outStart + outPos_;
    }
  }
  goto done;

bad:
  result = STREAM_BAD_DATA;
done:
  outPos_ = static_cast<uint32_t>(out - outStart);
  readPos_ = in;
  bytesLeft_ = static_cast<uint32_t>(inEnd - in);
  bitBuffer_ = bits;
  bitCount_ = count & 0xFF;
  if (result == STREAM_OK && *endOfBlock && outPos_ - flushed_ >= kWindowSize &&
      !FlushWindows()) {
    result = STREAM_BAD_DATA;
  }
  return result;
}

}  // namespace setup
