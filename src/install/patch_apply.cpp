// ApplyPatch reads both streams into memory and writes the output beside the
// base through one 64 KiB copy buffer. Every command is checked against what is
// left of its stream and every base copy against the base file, so damaged
// patch data ends in an error, never in a read or write out of bounds.
#include "install/patch_apply.h"

#include "base/errors.h"
#include "base/file_io.h"
#include "base/memory.h"
#include "decode/checksum.h"
#include "install/temporary_name.h"
#include "package/file_entry.h"

namespace setup {

namespace {

constexpr uint32_t kCopyBuffer = 65536;

class PatchRun {
 public:
  PatchRun(const PatchTarget& target, const uint8_t* entry, const char* basePath)
      : target_(target), platform_(target.reader.platform), entry_(entry), basePath_(basePath) {}
  ~PatchRun();
  int Run(int progressFrom, int progressTo);

 private:
  int Fail(int error, const char* subject);
  int FailKeepingSubject(int error);
  int FailSize();
  bool CommandByte(uint8_t* value);
  bool Distance(int32_t* distance);
  int CopyLiterals(uint32_t count);
  int CopyFromBase(uint32_t count);
  int Write(const uint8_t* data, uint32_t count);

  const PatchTarget& target_;
  Platform& platform_;
  const uint8_t* entry_;
  const char* basePath_;
  char* outputPath_ = nullptr;  // the base path with ".$AA": as long as it needs
  FileHandle base_ = kInvalidFile;
  FileHandle output_ = kInvalidFile;
  uint8_t* commands_ = nullptr;
  uint32_t commandSize_ = 0;
  uint32_t commandPos_ = 0;
  uint8_t* literals_ = nullptr;
  uint32_t literalSize_ = 0;
  uint32_t literalPos_ = 0;
  uint8_t* buffer_ = nullptr;
  uint32_t baseSize_ = 0;
  int64_t basePos_ = 0;
  uint64_t written_ = 0;
  bool outputMade_ = false;
};

PatchRun::~PatchRun() {
  CloseFile(platform_, &base_);
  CloseFile(platform_, &output_);
  if (outputMade_) platform_.DeleteFileA(outputPath_);
  FreeBlock(platform_, &outputPath_);
  FreeBlock(platform_, &commands_);
  FreeBlock(platform_, &literals_);
  FreeBlock(platform_, &buffer_);
}

int PatchRun::Fail(int error, const char* subject) {
  RecordError(target_.error, error, subject);
  return 0;
}

int PatchRun::FailKeepingSubject(int error) {
  RecordErrorNumber(target_.error, error);
  return 0;
}

bool PatchRun::CommandByte(uint8_t* value) {
  if (commandPos_ >= commandSize_) return false;
  *value = commands_[commandPos_++];
  return true;
}

bool PatchRun::Distance(int32_t* distance) {
  uint8_t e, b1, b2;
  if (!CommandByte(&e)) return false;
  if ((e & 0xC0) == 0x80) {
    int32_t v = e & 0x3F;
    *distance = v >= 0x20 ? v - 0x40 : v;
  } else if ((e & 0x80) == 0) {
    if (!CommandByte(&b1)) return false;
    int32_t v = (e & 0x7F) << 8 | b1;
    if (v >= 0x4000) v -= 0x8000;
    *distance = v >= 0 ? v + 32 : v - 32;
  } else {
    if (!CommandByte(&b1) || !CommandByte(&b2)) return false;
    int32_t v = (e & 0x3F) << 16 | b1 << 8 | b2;
    if (v >= 0x200000) v -= 0x400000;
    *distance = v >= 0 ? v + 16416 : v - 16416;
  }
  return true;
}

// Output that is not fileSize bytes is not the packed file: as a checksum
// mismatch.
int PatchRun::FailSize() {
  Fail(ERR_CHECKSUM, target_.targetPath);
  target_.error.wrongSize = true;
  target_.error.sizeFound = written_;
  return 0;
}

// Output past the entry's fileSize is damage: writing stops one byte past it.
int PatchRun::Write(const uint8_t* data, uint32_t count) {
  uint64_t room = uint64_t{EntryFileSize(entry_)} + 1 - written_;
  uint32_t take = count <= room ? count : static_cast<uint32_t>(room);
  WriteResult result = WriteBytes(platform_, output_, data, take);
  if (result == WRITE_FAILED) return Fail(ERR_WRITE, outputPath_);
  if (result == WRITE_SHORT) return FailKeepingSubject(ERR_WRITE_SHORT);
  written_ += take;
  // One byte past fileSize is already the wrong file: stop there, before a
  // later command can fail in another way.
  if (written_ > EntryFileSize(entry_)) return FailSize();
  return 1;
}

int PatchRun::CopyLiterals(uint32_t count) {
  if (literalSize_ - literalPos_ < count) return Fail(ERR_WRITE, outputPath_);
  if (!Write(literals_ + literalPos_, count)) return 0;
  literalPos_ += count;
  return 1;
}

int PatchRun::CopyFromBase(uint32_t count) {
  int32_t distance;
  if (!Distance(&distance)) return Fail(ERR_WRITE, outputPath_);
  int64_t from = basePos_ + distance;
  if (from < 0 || from + count > baseSize_) return Fail(ERR_CORRUPT, target_.targetPath);
  SeekFile(platform_, base_, static_cast<int32_t>(from), kFileBegin);
  // Long copies go through the buffer in pieces.
  for (uint32_t left = count; left > 0;) {
    uint32_t piece = left < kCopyBuffer ? left : kCopyBuffer;
    if (!ReadExact(platform_, base_, buffer_, piece)) return Fail(ERR_CORRUPT, target_.targetPath);
    if (!Write(buffer_, piece)) return 0;
    left -= piece;
  }
  basePos_ = from + count;
  return 1;
}

int PatchRun::Run(int progressFrom, int progressTo) {
  int seek = SeekPackageData(target_.reader, EntryDataOffset(entry_));
  if (seek != 0) {
    RecordErrorNumber(target_.error, seek);
    return 0;
  }

  base_ = OpenForRead(platform_, basePath_);
  if (base_ == kInvalidFile) return Fail(ERR_OPEN, basePath_);
  baseSize_ = FileSize(platform_, base_);
  uint32_t outputSize = TextLength(basePath_) + 8;
  if (!AllocBlock(platform_, outputSize, &outputPath_)) return FailKeepingSubject(ERR_OUT_OF_MEMORY);
  if (!FormTemporaryName(platform_, basePath_, ".$AA", outputPath_, outputSize)) {
    return Fail(ERR_CREATE, basePath_);
  }
  output_ = CreateForWrite(platform_, outputPath_);
  if (output_ == kInvalidFile) return Fail(ERR_CREATE, outputPath_);
  outputMade_ = true;

  int read = ReadDataItem(target_.reader, &commands_, &commandSize_);
  if (read == 0) read = ReadDataItem(target_.reader, &literals_, &literalSize_);
  if (read == RESULT_ABORTED) return RESULT_ABORTED;
  if (read == ERR_OUT_OF_MEMORY) return FailKeepingSubject(ERR_OUT_OF_MEMORY);
  if (read != 0) return 0;  // ERR_CORRUPT, set with the volume's name
  if (!AllocBlock(platform_, kCopyBuffer, &buffer_)) return FailKeepingSubject(ERR_OUT_OF_MEMORY);

  uint32_t fileSize = EntryFileSize(entry_);
  // The steps of 10000 bytes in the file, counted in 32 bits: a stored size
  // within 10000 of 4 GiB wraps to 0, and such an entry moves no progress.
  uint32_t steps = (fileSize + 10000) / 10000;
  uint32_t shown = static_cast<uint32_t>(progressFrom);
  uint8_t c;
  while (CommandByte(&c)) {
    int ok;
    if (c >= 0x80) {
      uint32_t n = (c >> 5) & 3;
      ok = n == 0 ? CopyLiterals((c & 0x1Fu) + 1)
                  : CopyLiterals(n) && CopyFromBase((c & 0x1Fu) + 2);
    } else if (c != 0) {
      ok = CopyFromBase(c + 1u);
    } else {
      uint8_t low, high;
      if (!CommandByte(&low) || !CommandByte(&high)) return Fail(ERR_WRITE, outputPath_);
      ok = CopyFromBase((static_cast<uint32_t>(high) << 8 | low) + 129);
    }
    if (!ok) return 0;
    if (progressFrom != progressTo && target_.progress != nullptr && steps != 0) {
      uint32_t p = static_cast<uint32_t>(progressFrom) +
                   (static_cast<uint32_t>(written_) + 10000) / 10000 *
                       static_cast<uint32_t>(progressTo - progressFrom) / steps;
      if (p != shown) {
        shown = p;
        target_.progress->SetProgressPercent(static_cast<int>(p));
      }
    }
  }

  if (written_ != EntryFileSize(entry_)) return FailSize();
  CloseFile(platform_, &base_);
  if (EntryHasTimes(entry_)) SetFileTimesFromEntry(platform_, output_, entry_);
  CloseFile(platform_, &output_);

  FileHandle check = OpenForRead(platform_, outputPath_);
  if (check == kInvalidFile) return Fail(ERR_OPEN, outputPath_);
  uint32_t sum = FileChecksum(platform_, check);
  CloseFile(platform_, &check);
  if (sum != EntryChecksum(entry_)) return Fail(ERR_CHECKSUM, target_.targetPath);
  if (!platform_.DeleteFileA(basePath_) || !platform_.MoveFileA(outputPath_, basePath_)) {
    return Fail(ERR_REPLACE, target_.targetPath);
  }
  outputMade_ = false;
  return 1;
}

}  // namespace

int ApplyPatch(const PatchTarget& target, const uint8_t* entry, const char* basePath,
               int progressFrom, int progressTo) {
  PatchRun run(target, entry, basePath);
  return run.Run(progressFrom, progressTo);
}

}  // namespace setup
