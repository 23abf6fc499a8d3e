#include "install/entry_data.h"

#include "base/errors.h"
#include "base/file_io.h"
#include "decode/checksum.h"
#include "decode/output_sink.h"
#include "install/patch_apply.h"
#include "install/temporary_name.h"
#include "package/file_entry.h"

namespace setup {

namespace {

// A file whose data does not come to its fileSize is not the file that was
// packed, whatever its checksum says (a stream of zeros checksums to 0 at any
// length): error 21, as for a checksum mismatch.
int WrongSize(SetupContext& context, uint64_t found, const char* subject) {
  SetSetupError(context, ERR_CHECKSUM, subject);
  context.run.error.wrongSize = true;
  context.run.error.sizeFound = found;
  return ERR_CHECKSUM;
}

// Positions the reader at `entry`'s data and decodes it into `file`, which
// holds `head` bytes already; the whole must come to the entry's fileSize, and
// writing stops one byte past it.
int DecodeEntry(SetupContext& context, const uint8_t* entry, FileHandle file, uint64_t head,
                const char* subject) {
  if (EntryStoredSize(entry) == 0) {
    SetSetupError(context, ERR_CORRUPT, context.packagePath);
    return ERR_CORRUPT;
  }
  uint64_t fileSize = EntryFileSize(entry);
  if (head > fileSize) return WrongSize(context, fileSize + 1, subject);
  int seek = SeekPackageData(context.reader, EntryDataOffset(entry));
  if (seek != 0) {
    SetSetupErrorNumber(context, seek);
    return seek;
  }
  FileSink sink(context.platform, file, fileSize + 1 - head);
  DecodeResult decoded =
      context.reader.decoder.Decode(sink, context.reader.handle, EntryStoredSize(entry));
  if (decoded == DECODE_ABORTED) return RESULT_ABORTED;
  // The data may be sound: the disk took no more of it. Say so rather than
  // call the file damaged.
  if (sink.WriteFailed()) {
    int error = sink.DiskFull() ? ERR_WRITE_SHORT : ERR_WRITE;
    SetSetupError(context, error, subject);
    return error;
  }
  uint64_t found = head + sink.Written();
  if (found > fileSize || (decoded == DECODE_OK && found != fileSize)) {
    return WrongSize(context, found, subject);
  }
  // A stream that fails is damaged: the uninstaller has no checksum that
  // would tell, and for any other file the checksum would say the same.
  if (decoded != DECODE_OK) {
    SetSetupError(context, ERR_CHECKSUM, subject);
    return ERR_CHECKSUM;
  }
  return 0;
}

// Checks the finished file as it lies on the disk: its size (a write that
// failed on the way leaves it short, and a file of zeros checksums to 0 at
// any length) and, unless `checked` is false, its checksum.
int Verify(SetupContext& context, const char* path, const uint8_t* entry, const char* subject,
           bool checked = true) {
  FileHandle file = OpenForRead(context.platform, path);
  if (file == kInvalidFile) {
    SetSetupError(context, ERR_OPEN, path);
    return ERR_OPEN;
  }
  uint32_t size = 0;
  uint32_t sum = 0;
  if (checked) sum = FileChecksum(context.platform, file, &size);
  else size = FileSize(context.platform, file);
  CloseFile(context.platform, &file);
  if (size != EntryFileSize(entry)) return WrongSize(context, size, subject);
  if (checked && sum != EntryChecksum(entry)) {
    SetSetupError(context, ERR_CHECKSUM, subject);
    return ERR_CHECKSUM;
  }
  return 0;
}

int Fill(SetupContext& context, const uint8_t* entry, const char* targetPath,
         const char* temporary, FileHandle* file, int progressFrom, int progressTo) {
  Platform& platform = context.platform;
  uint8_t flags = EntryFlags(entry);
  if (flags & FEF_PATCH) {
    uint8_t* base = FindPatchBase(context.package, entry);
    if (base == nullptr) {
      SetSetupError(context, ERR_CORRUPT, targetPath);
      return ERR_CORRUPT;
    }
    int result = DecodeEntry(context, base, *file, 0, targetPath);
    CloseFile(platform, file);
    if (result != 0) return result;
    result = Verify(context, temporary, base, targetPath);
    if (result != 0) return result;
    PatchTarget patch{context.reader, context.run.error, context.progress, context.targetPath};
    result = ApplyPatch(patch, entry, temporary, progressFrom, progressTo);
    return result == 1 ? 0 : result == RESULT_ABORTED ? RESULT_ABORTED : context.run.error.number;
  }
  if (flags & FEF_UNINSTALLER) {
    // The uninstaller is the package's image followed by the entry's data;
    // it carries no checksum. Without an image the data alone is no program,
    // and the file stays empty.
    const Payload& image = context.package.uninstaller;
    int result = 0;
    if (image.data != nullptr && image.size != 0) {
      WriteResult written = WriteBytes(platform, *file, image.data, image.size);
      if (written == WRITE_FAILED) {
        SetSetupError(context, ERR_WRITE, temporary);
        result = ERR_WRITE;
      } else if (written == WRITE_SHORT) {
        SetSetupErrorNumber(context, ERR_WRITE_SHORT);
        result = ERR_WRITE_SHORT;
      } else {
        result = DecodeEntry(context, entry, *file, image.size, targetPath);
      }
    }
    CloseFile(platform, file);
    if (result != 0 || image.data == nullptr || image.size == 0) return result;
    return Verify(context, temporary, entry, targetPath, false);
  }
  int result = DecodeEntry(context, entry, *file, 0, targetPath);
  if (result == 0 && EntryHasTimes(entry)) SetFileTimesFromEntry(platform, *file, entry);
  CloseFile(platform, file);
  if (result != 0) return result;
  return Verify(context, temporary, entry, targetPath);
}

}  // namespace

int WriteEntryToTemporary(SetupContext& context, const uint8_t* entry, const char* targetPath,
                          char* temporary, uint32_t size, int progressFrom, int progressTo) {
  Platform& platform = context.platform;
  context.run.error.wrongSize = false;
  context.run.error.sizeFound = 0;
  if (!FormTemporaryName(platform, targetPath, ".$$A", temporary, size)) {
    SetSetupError(context, ERR_CREATE, targetPath);
    return ERR_CREATE;
  }
  FileHandle file = CreateForWrite(platform, temporary);
  if (file == kInvalidFile) {
    SetSetupError(context, ERR_CREATE, temporary);
    return ERR_CREATE;
  }
  int result = Fill(context, entry, targetPath, temporary, &file, progressFrom, progressTo);
  CloseFile(platform, &file);
  if (result != 0) platform.DeleteFileA(temporary);
  return result;
}

}  // namespace setup
