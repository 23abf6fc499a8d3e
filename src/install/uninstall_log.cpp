#include "install/uninstall_log.h"

#include "base/bytes.h"
#include "package/package_state.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

WriteResult WriteCounted(Platform& platform, FileHandle file, const char* text, uint32_t n) {
  n &= 0xFFFF;
  uint8_t length[2];
  WriteU16(length, static_cast<uint16_t>(n));
  WriteResult result = WriteBytes(platform, file, length, 2);
  if (result != WRITE_OK || n == 0) return result;
  return WriteBytes(platform, file, text, n);
}

// The length of the part of `path` that `folder` (ending in a backslash)
// begins, or 0 when it does not begin it.
uint32_t InsideLength(const char* path, const char* folder) {
  uint32_t i = 0;
  for (; folder[i] != '\0'; ++i) {
    char a = path[i] >= 'a' && path[i] <= 'z' ? static_cast<char>(path[i] - 32) : path[i];
    char b = folder[i] >= 'a' && folder[i] <= 'z' ? static_cast<char>(folder[i] - 32) : folder[i];
    if (a == '\0' || a != b) return 0;
  }
  return i;
}

void RecordHeader(uint8_t* out, uint16_t type, uint32_t length) {
  WriteU16(out, type);
  WriteU16(out + 2, 0);
  WriteU32(out + 4, length);
}

}  // namespace

WriteResult WriteCountedString(Platform& platform, FileHandle file, const char* text) {
  return WriteCounted(platform, file, text, TextLength(text));
}

WriteResult WriteFileItem(Platform& platform, FileHandle file, const char* destinationFolder,
                          const char* path, uint8_t flags) {
  char destination[kPathSize];
  CopyText(destination, kPathSize, destinationFolder);
  AppendBackslash(destination, kPathSize);
  uint32_t nameAt = 0;
  for (uint32_t i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '\\') nameAt = i + 1;
  }
  // The folder is path[from, nameAt - 1), after "." when it is inside.
  uint32_t inside = destination[0] != '\0' ? InsideLength(path, destination) : 0;
  uint32_t from = inside != 0 ? inside - 1 : 0;  // keep the backslash before a subfolder
  uint32_t end = nameAt != 0 ? nameAt - 1 : 0;
  if (inside != 0 && end < from) end = from;
  char folder[kPathSize];
  uint32_t n = 0;
  if (inside != 0) folder[n++] = '.';
  for (uint32_t i = from; i < end && n + 1 < kPathSize; ++i) folder[n++] = path[i];
  folder[n] = '\0';
  WriteResult result = WriteCounted(platform, file, folder, n);
  if (result == WRITE_OK) result = WriteCountedString(platform, file, path + nameAt);
  if (result == WRITE_OK) result = WriteBytes(platform, file, &flags, 1);
  return result;
}

void ShortcutRecord::Write(const void* bytes, uint32_t n) {
  if (result_ == WRITE_OK) result_ = WriteBytes(platform_, log_, bytes, n);
}

void ShortcutRecord::Begin() {
  if (log_ == kInvalidFile || begun_) return;
  begun_ = true;
  start_ = TellFile(platform_, log_);
  if (start_ == kInvalidSetFilePointer) result_ = WRITE_FAILED;
  uint8_t header[kRecordHeaderSize + 4] = {};
  RecordHeader(header, LOG_SHORTCUTS, 0);
  Write(header, sizeof header);
}

void ShortcutRecord::Add(const char* folder, const char* linkName) {
  if (!begun_ || result_ != WRITE_OK) return;
  result_ = WriteCountedString(platform_, log_, folder);
  if (result_ == WRITE_OK) result_ = WriteCountedString(platform_, log_, linkName);
  if (result_ == WRITE_OK) ++count_;
}

void ShortcutRecord::Finish() {
  if (!begun_ || result_ != WRITE_OK) return;
  uint32_t end = TellFile(platform_, log_);
  if (end == kInvalidSetFilePointer ||
      SeekFile(platform_, log_, static_cast<int32_t>(start_), kFileBegin) != start_) {
    result_ = WRITE_FAILED;
    return;
  }
  uint8_t header[kRecordHeaderSize + 4];
  RecordHeader(header, LOG_SHORTCUTS, end - start_ - kRecordHeaderSize);
  WriteU32(header + kRecordHeaderSize, count_);
  Write(header, sizeof header);
  if (SeekFile(platform_, log_, static_cast<int32_t>(end), kFileBegin) != end) {
    if (result_ == WRITE_OK) result_ = WRITE_FAILED;
  }
}

WriteResult WriteRegistrationRecord(Platform& platform, FileHandle file, const char* keyPath) {
  uint32_t length = TextLength(keyPath) & 0xFFFF;
  uint8_t header[kRecordHeaderSize + 4];
  RecordHeader(header, LOG_REGISTRATION, length + 6);
  WriteU32(header + kRecordHeaderSize, static_cast<uint32_t>(kHkeyLocalMachine));
  WriteResult result = WriteBytes(platform, file, header, sizeof header);
  return result == WRITE_OK ? WriteCountedString(platform, file, keyPath) : result;
}

WriteResult WriteEndRecord(Platform& platform, FileHandle file) {
  uint8_t header[kRecordHeaderSize];
  RecordHeader(header, LOG_END, 0);
  return WriteBytes(platform, file, header, sizeof header);
}

}  // namespace setup
