#include "install/restart_replace.h"

#include "base/file_io.h"
#include "base/memory.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

constexpr const char kRenameSection[] = "Rename";
constexpr const char kPlaceholder[] = "xyz";

// A name that DOS can use as it is: 1-8 characters, an optional dot and 1-3
// more, none of them blank or reserved.
bool IsShortFileName(const char* name) {
  uint32_t base = 0;
  uint32_t ext = 0;
  bool dot = false;
  for (const char* p = name; *p != '\0'; ++p) {
    char c = *p;
    if (c == '.') {
      if (dot) return false;
      dot = true;
      continue;
    }
    if (c <= ' ' || c == '"' || c == '*' || c == '+' || c == ',' || c == '/' || c == ':' ||
        c == ';' || c == '<' || c == '=' || c == '>' || c == '?' || c == '[' || c == '\\' ||
        c == ']' || c == '|') {
      return false;
    }
    ++(dot ? ext : base);
  }
  return base >= 1 && base <= 8 && ext <= 3 && !(dot && ext == 0);
}

// The short path of an existing file into `out` (260 bytes).
bool ShortPath(Platform& platform, const char* path, char* out) {
  uint32_t n = platform.GetShortPathNameA(path, out, kPathSize);
  return n != 0 && n < kPathSize;
}

// The short path of a target that may not exist yet: its folder's short path
// and its own name, which must already be a short one.
bool ShortTargetPath(Platform& platform, const char* target, char* out) {
  if (ShortPath(platform, target, out)) return true;
  const char* name = target;
  for (const char* p = target; *p != '\0'; ++p) {
    if (*p == '\\') name = p + 1;
  }
  if (name == target || !IsShortFileName(name)) return false;
  char folder[kPathSize];
  uint32_t folderLength = static_cast<uint32_t>(name - target);
  if (folderLength >= kPathSize) return false;
  CopyText(folder, folderLength + 1, target);
  if (!ShortPath(platform, folder, out)) return false;
  AppendBackslash(out, kPathSize);
  return AppendText(out, kPathSize, name);
}

// Writes the profile cache out. Windows answers this call with 0 whether or
// not there was anything to write, so its result tells nothing.
void Flush(Platform& platform, const char* file) {
  platform.WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
}

// Turns the first line "xyz=<shortSource>..." of the file into
// "NUL=<shortSource>...", leaving every other byte as it was.
bool ReplacePlaceholder(Platform& platform, const char* file, const char* shortSource) {
  FileHandle handle = OpenForReadWrite(platform, file);
  if (handle == kInvalidFile) return false;
  uint32_t n = FileSize(platform, handle);
  uint8_t* data = nullptr;
  bool done = false;
  // The size test keeps n + 512 from wrapping; no WININIT.INI comes near it.
  if (n < 0x7FFFFE00u && AllocBlock(platform, n + 512, &data) &&
      ReadExact(platform, handle, data, n)) {
    uint32_t length = TextLength(shortSource);
    // i + 4 + length <= n, written so that a file shorter than that never
    // wraps around.
    for (uint32_t i = 0; !done && n >= 4 + length && i <= n - 4 - length; ++i) {
      if (data[i] != 'x' || data[i + 1] != 'y' || data[i + 2] != 'z' || data[i + 3] != '=') {
        continue;
      }
      bool same = true;
      for (uint32_t k = 0; same && k < length; ++k) {
        same = data[i + 4 + k] == static_cast<uint8_t>(shortSource[k]);
      }
      if (!same) continue;
      data[i] = 'N';
      data[i + 1] = 'U';
      data[i + 2] = 'L';
      done = SeekFile(platform, handle, 0, kFileBegin) == 0 &&
             WriteBytes(platform, handle, data, n) == WRITE_OK;
      if (!done) break;
    }
  }
  FreeBlock(platform, &data);
  CloseFile(platform, &handle);
  return done;
}

}  // namespace

bool ScheduleReplaceAtRestart(Platform& platform, bool windowsNt, const char* target,
                              const char* source) {
  if (windowsNt) {
    uint32_t flags = kMoveFileDelayUntilReboot;
    if (target != nullptr) flags |= kMoveFileReplaceExisting;
    return platform.MoveFileExA(source, target, flags) != 0;
  }
  char shortSource[kPathSize];
  char shortTarget[kPathSize];
  char wininit[kPathSize];
  if (!ShortPath(platform, source, shortSource)) return false;
  if (target != nullptr && !ShortTargetPath(platform, target, shortTarget)) return false;
  uint32_t n = platform.GetWindowsDirectoryA(wininit, kPathSize);
  if (n == 0 || n >= kPathSize) return false;
  AppendBackslash(wininit, kPathSize);
  if (!AppendText(wininit, kPathSize, "WININIT.INI")) return false;
  if (target != nullptr) {
    bool written =
        platform.WritePrivateProfileStringA(kRenameSection, shortTarget, shortSource, wininit) != 0;
    Flush(platform, wininit);
    return written;
  }
  if (!platform.WritePrivateProfileStringA(kRenameSection, kPlaceholder, shortSource, wininit)) {
    return false;
  }
  Flush(platform, wininit);
  return ReplacePlaceholder(platform, wininit, shortSource);
}

}  // namespace setup
