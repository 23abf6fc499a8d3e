#include "install/uninstall_log.h"

#include "base/bytes.h"
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

}  // namespace setup
