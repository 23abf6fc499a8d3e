// The decoder of the package's compressed streams.
//
// The stream format is built like RFC 1951 DEFLATE (same bit order, canonical
// Huffman codes, length and distance alphabets, fixed code, run-length coded
// code lengths) but differs in three places, so neither reads the other:
//   - a block header has four bits: type 5 fixed codes, 6 dynamic codes,
//     7 stored (0-4 are invalid), then the final-block flag;
//   - a stored block has a 16-bit length and no complement;
//   - the code-length code lengths are sent in the order 18, 17, 16, 0, 1, ..., 15.
// A stream has no header or trailer; bits after the final block are ignored.
//
// Input is read in blocks of up to 4096 bytes, either straight from a file or,
// with an input limit, through a CountedReader that may move on to the next
// volume file. When a decode ends, the bytes it fetched but did not use go
// back, so the input stands just after the last byte that holds a used bit and
// two streams stored back to back can be read one after the other.
//
// Output leaves through an OutputSink in whole 32768-byte windows, the last
// piece shorter (a stream that ends on a window boundary ends with a write of
// 0 bytes). Matches may reach 32768 bytes back, before the first byte of the
// stream too, where they read zeros.
#pragma once

#include <cstdint>

#include "decode/decode_table.h"
#include "decode/output_sink.h"
#include "platform/platform.h"

namespace setup {

// Counted input: the source of package data, which the decoder reads in
// requests of at most 4096 bytes and never more than the limit it was given.
class CountedReader {
 public:
  virtual ~CountedReader() = default;
  // Reads up to `count` bytes from *file into `buffer` and stores how many were
  // delivered. The reader may move on to another file; *file then names the
  // one reading goes on from. Returns false when the input cannot be read at
  // all: decoding is then abandoned at once (DECODE_ABORTED).
  virtual bool ReadCounted(FileHandle* file, void* buffer, uint32_t count,
                           uint32_t* delivered) = 0;
  // Takes back the last `count` counted bytes, fetched but not used by the stream.
  virtual void UnreadCounted(FileHandle file, uint32_t count) = 0;
};

// No stream expands a byte into more than this: a match of 258 bytes takes
// at least two bits.
constexpr uint32_t kMaxStreamExpansion = 1032;

// Results of one stream: what went wrong, for callers that tell failures apart.
enum StreamResult : int {
  STREAM_OK = 0,
  STREAM_BAD_DATA = 1,   // invalid code, bad header field, truncated input
  STREAM_BAD_BLOCK = 2,  // invalid block type, over-subscribed code lengths
  STREAM_NO_MEMORY = 3,
  STREAM_ABORTED = 4,    // counted input could not be read
};

// Results of the entry points: 1 for a stream decoded whole and 0 for a
// failure, as every decoding call of the setup reports it, and 2 when counted
// input failed and the caller ends the setup.
enum DecodeResult : int {
  DECODE_FAILED = 0,
  DECODE_OK = 1,
  DECODE_ABORTED = 2,
};

class StreamDecoder {
 public:
  // `reader` serves decodes that are given an input limit; it may be null when
  // none are.
  StreamDecoder(Platform& platform, CountedReader* reader);
  ~StreamDecoder();
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  // Decode one stream from `input` (limit 0: straight from the file to its
  // end; otherwise that many bytes through the counted reader, then straight
  // from the file). Each returns DECODE_OK, DECODE_FAILED or DECODE_ABORTED.
  // A stream that ends before filling the memory block leaves the block's
  // next bytes (up to 37) zero.
  DecodeResult DecodeToMemory(void* destination, uint32_t capacity, FileHandle input,
                              uint32_t limit);
  DecodeResult DecodeToFile(FileHandle output, FileHandle input, uint32_t limit);
  DecodeResult Decode(OutputSink& sink, FileHandle input, uint32_t limit);

  // Frees the window kept between streams (it is made again when needed).
  void ReleaseBuffers();

  // The fast path is built for the processor where that gains (on x86-64,
  // with the BMI2 shifts where the processor has them); this runs the
  // portable build everywhere, the one the 32-bit stub has.
  void UsePortableLoop(bool portable) { portableLoop_ = portable; }

  // The STREAM_ result of the last decode.
  StreamResult LastResult() const { return lastResult_; }
  // The file the last decode finished reading from (the counted reader may
  // have moved on to another).
  FileHandle InputFile() const { return lastInput_; }

 private:
  struct Tables;

  bool OpenInput(FileHandle input, uint32_t limit);
  void CloseInput();
  bool FillInput();
  bool NeedBits(unsigned count);
  uint32_t TakeBits(unsigned count);
  void DropBits(unsigned count);
  bool StreamTruncated() const;

  StreamResult DecodeStream();
  StreamResult DecodeStoredBlock();
  StreamResult DecodeFixedBlock();
  StreamResult DecodeDynamicBlock();
  StreamResult DecodeCodeLengths(const uint8_t* codeLengths, uint8_t* lengths, unsigned count);
  StreamResult DecodeCodes(const DecodeEntry* literals, int literalBits,
                           const DecodeEntry* distances, int distanceBits);
  StreamResult DecodeCodesFast(const DecodeEntry* literals, int literalBits,
                               const DecodeEntry* distances, int distanceBits,
                               bool* endOfBlock);
  StreamResult DecodeCodesFastBmi2(const DecodeEntry* literals, int literalBits,
                                   const DecodeEntry* distances, int distanceBits,
                                   bool* endOfBlock);
  StreamResult DecodeCodesFastLoop(const DecodeEntry* literals, int literalBits,
                                   const DecodeEntry* distances, int distanceBits,
                                   bool* endOfBlock);
  bool DecodeSymbol(const DecodeEntry* table, int rootBits, DecodeEntry* entry);
  bool PutByte(uint8_t byte);
  bool CopyMatch(uint32_t length, uint32_t distance);
  bool FlushWindows();
  void LeaveDestination();
  void ClearOverrun();

  Platform& platform_;
  CountedReader* reader_;

  // Input.
  uint8_t* inputBuffer_ = nullptr;
  const uint8_t* readPos_ = nullptr;
  uint32_t bytesLeft_ = 0;
  FileHandle input_ = kInvalidFile;
  uint32_t inputLimit_ = 0;
  uint32_t directBytes_ = 0;  // bytes read straight from the file after the limit ran out
  bool aborted_ = false;
  bool moreInput_ = false;  // the last read filled a whole block

  // Bits not yet consumed, lowest first. Only whole bytes are ever added, so
  // bitCount_ % 8 is the unread part of the last byte.
  uint64_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  // Zero bytes supplied after the input ran out. Using any of their bits means
  // the stream was cut short.
  unsigned overrun_ = 0;

  // Output: a window of history followed by room for several windows of new
  // output, so that matches copy from one contiguous run of bytes. A decode
  // to memory writes straight into the destination instead (output_ is then
  // the destination, whose bytes before the start read as zeros) while a
  // whole window and a match's slack still fit in it, and goes on in the
  // window for the rest; the sink then takes its own bytes without a copy.
  OutputSink* sink_ = nullptr;
  uint8_t* window_ = nullptr;
  uint8_t* output_ = nullptr;  // window_, or the destination
  uint32_t outPos_ = 0;        // next write position in output_
  uint32_t flushed_ = 0;       // output before this position has gone to the sink
  uint8_t* destination_ = nullptr;  // set for the length of a DecodeToMemory
  uint32_t destinationSize_ = 0;
  bool inDestination_ = false;
  bool sinkFailed_ = false;
  bool historyDirty_ = false;  // the history window holds bytes of an earlier stream

  // Fixed-code tables, built at the first fixed block of a stream.
  DecodeEntry* fixedLiterals_ = nullptr;
  DecodeEntry* fixedDistances_ = nullptr;
  int fixedLiteralBits_ = 0;
  int fixedDistanceBits_ = 0;

  // Base values and extra bits of the length and distance symbols, and the
  // order of the code-length code lengths.
  uint16_t lengthBase_[31];
  uint8_t lengthExtra_[31];
  uint16_t distanceBase_[30];
  uint8_t distanceExtra_[30];
  uint8_t codeLengthOrder_[19];

  bool portableLoop_ = false;
  StreamResult lastResult_ = STREAM_OK;
  FileHandle lastInput_ = kInvalidFile;
};

}  // namespace setup
