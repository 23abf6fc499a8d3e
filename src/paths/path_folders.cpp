#include "paths/path_folders.h"

#include "base/memory.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

// The length of the root that a path starts with and that is never made:
// "C:\", or "\\server\share\" of a network path.
uint32_t RootLength(const char* path) {
  if (path[0] == '\\' && path[1] == '\\') {
    uint32_t i = 2;
    for (int part = 0; part < 2 && path[i] != '\0'; ++part) {
      while (path[i] != '\0' && path[i] != '\\') ++i;
      if (path[i] == '\\') ++i;
    }
    return i;
  }
  if (path[0] != '\0' && path[1] == ':' && path[2] == '\\') return 3;
  return 0;
}

enum class Stored { kFound, kMissing, kTooLong };

// Puts the stored name of the last part of `result` in place of that part.
Stored StoredLastPart(Platform& platform, char* result, uint32_t size) {
  FindData found;
  FindHandle find = platform.FindFirstFileA(result, &found);
  if (find == kInvalidFile) return Stored::kMissing;
  platform.FindClose(find);
  uint32_t cut = TextLength(result);
  while (cut > 0 && result[cut - 1] != '\\') --cut;
  result[cut] = '\0';
  return AppendText(result, size, found.fileName) ? Stored::kFound : Stored::kTooLong;
}

}  // namespace

bool FolderExists(Platform& platform, const char* path) {
  uint32_t attributes = platform.GetFileAttributesA(path);
  return attributes != kInvalidFileAttributes && (attributes & kAttrDirectory) != 0;
}

int MakePathFolders(Platform& platform, const char* path) {
  uint32_t length = TextLength(path);
  char* folder = nullptr;
  if (!AllocBlock(platform, length + 1, &folder)) return -1;
  CopyText(folder, length + 1, path);
  int result = 0;
  // Most files go into a folder that is already there: one look at the
  // deepest folder spares a look at each of its parents.
  uint32_t last = length;
  while (last > 0 && folder[last - 1] != '\\') --last;
  if (last > RootLength(folder) + 1) {
    folder[last - 1] = '\0';
    bool there = FolderExists(platform, folder);
    folder[last - 1] = '\\';
    if (there) {
      FreeBlock(platform, &folder);
      return 0;
    }
  }
  for (uint32_t i = RootLength(folder); i < length; ++i) {
    if (folder[i] != '\\') continue;
    folder[i] = '\0';
    if (i != 0 && !FolderExists(platform, folder) && !platform.CreateDirectoryA(folder) &&
        !FolderExists(platform, folder)) {
      result = 1;
      break;
    }
    folder[i] = '\\';
  }
  FreeBlock(platform, &folder);
  return result;
}

bool CanonicalizePath(Platform& platform, char* path, uint32_t size) {
  char* result = nullptr;
  if (size == 0 || !AllocZeroedBlock(platform, size, &result)) return true;
  bool fits = true;
  bool found = true;
  uint32_t p = 0;
  if (path[0] != '\0' && path[1] == ':') {
    result[0] = path[0];
    result[1] = ':';
    p = 2;
  }
  while (path[p] == '\\') ++p;
  for (;;) {
    uint32_t end = p;
    while (path[end] != '\0' && path[end] != '\\') ++end;
    if (path[end] == '\0') break;
    // A part ended by a backslash.
    fits = AppendText(result, size, "\\");
    for (uint32_t i = p; fits && i < end; ++i) {
      char one[2] = {path[i], '\0'};
      fits = AppendText(result, size, one);
    }
    if (!fits) break;
    Stored stored = StoredLastPart(platform, result, size);
    fits = stored != Stored::kTooLong;
    found = stored == Stored::kFound;
    if (!found) break;
    p = end + 1;
  }
  if (fits && found) {
    fits = AppendText(result, size, "\\") && AppendText(result, size, path + p);
    if (fits) {
      StripBackslash(result);
      // A drive root has no stored name of its own.
      uint32_t n = TextLength(result);
      if (!(n == 3 && result[1] == ':')) {
        Stored stored = StoredLastPart(platform, result, size);
        fits = stored != Stored::kTooLong;
        found = stored == Stored::kFound;
      }
    }
  }
  if (fits && found) CopyText(path, size, result);
  FreeBlock(platform, &result);
  return fits;
}

}  // namespace setup
