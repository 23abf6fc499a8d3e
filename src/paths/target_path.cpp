#include "paths/target_path.h"

#include "package/entry_kinds.h"
#include "base/memory.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

// Folder, a backslash when needed, and name; false when it was cut.
bool JoinPath(char* target, uint32_t size, const char* folder, const char* name) {
  CopyText(target, size, folder);
  bool fits = TextLength(folder) < size;
  uint32_t n = TextLength(target);
  if (n != 0 && target[n - 1] != '\\') fits = AppendText(target, size, "\\") && fits;
  return AppendText(target, size, name) && fits;
}

bool FileOpens(Platform& platform, const char* path) {
  FileHandle file = platform.CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting);
  if (file == kInvalidFile) return false;
  platform.CloseHandle(file);
  return true;
}

TargetResult Joined(bool fits) { return fits ? TargetResult::kResolved : TargetResult::kTooLong; }

// The texts the shared-file search works in, taken as one block.
struct SearchTexts {
  char current[kPathSize];
  char preferred[kPathSize];
  char windows[kPathSize];
  char candidate[2 * kPathSize];
};

TargetResult SharedFileSearch(const PathPlaces& places, const char* name, char* target,
                              uint32_t size) {
  Platform& platform = places.platform;
  SearchTexts* texts = nullptr;
  if (!AllocZeroedBlock(platform, sizeof(SearchTexts), &texts)) {
    return Joined(JoinPath(target, size, places.destinationFolder, name));
  }
  // The destination folder without its backslash is the application's folder.
  CopyText(target, size, places.destinationFolder);
  StripBackslash(target);
  const char* base = name;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '\\') base = p + 1;
  }
  uint32_t length = platform.GetWindowsDirectoryA(texts->windows, kPathSize);
  if (length >= kPathSize) texts->windows[0] = '\0';
  uint32_t currentSize = kPathSize;
  uint32_t preferredSize = kPathSize;
  uint32_t found = platform.VerFindFileA(kVfffIsSharedFile, base, texts->windows, target,
                                         texts->current, &currentSize, texts->preferred,
                                         &preferredSize);
  TargetResult inUse = (found & kVffFileInUse) ? TargetResult::kInUse : TargetResult::kResolved;
  TargetResult result;
  bool fits;
  if (texts->current[0] != '\0') {
    fits = JoinPath(target, size, texts->current, base);
  } else {
    // The system folder's text goes through the candidate buffer, which has room.
    length = platform.GetSystemDirectoryA(texts->candidate, kPathSize);
    if (length >= kPathSize) texts->candidate[0] = '\0';
    fits = JoinPath(target, size, texts->candidate, base);
  }
  if (!fits) {
    result = TargetResult::kTooLong;
  } else if (FileOpens(platform, target)) {
    result = inUse;
  } else if (texts->preferred[0] == '\0') {
    result = TargetResult::kResolved;
  } else {
    bool candidateFits = JoinPath(texts->candidate, sizeof texts->candidate, texts->preferred, base);
    result = candidateFits && TextEqualNoCase(texts->candidate, target) ? inUse
                                                                        : TargetResult::kResolved;
  }
  FreeBlock(platform, &texts);
  return result;
}

}  // namespace

TargetResult ResolveTargetPath(const PathPlaces& places, uint8_t folderKind, uint8_t placement,
                               const char* name, char* target, uint32_t size) {
  Platform& platform = places.platform;
  if (placement == PLACE_SOURCE) {
    CopyText(target, size, places.packagePath);
    uint32_t cut = TextLength(target);
    while (cut > 0 && target[cut - 1] != '\\') --cut;
    target[cut] = '\0';
    return Joined(AppendText(target, size, name));
  }
  char folder[kPathSize];
  switch (folderKind) {
    case FOLDER_WINDOWS: {
      uint32_t n = platform.GetWindowsDirectoryA(folder, kPathSize);
      if (n >= kPathSize) folder[0] = '\0';
      return Joined(JoinPath(target, size, folder, name));
    }
    case FOLDER_FONTS:
      if (!platform.GetSpecialFolderPath(kCsidlFonts, folder) || folder[0] == '\0') {
        // Never an empty folder, which would make the name relative.
        uint32_t n = platform.GetWindowsDirectoryA(folder, kPathSize);
        if (n >= kPathSize) folder[0] = '\0';
        AppendBackslash(folder, kPathSize);
        if (!AppendText(folder, kPathSize, "Fonts")) return TargetResult::kTooLong;
      }
      return Joined(JoinPath(target, size, folder, name));
    case FOLDER_SYSTEM:
      return SharedFileSearch(places, name, target, size);
    default:
      return Joined(JoinPath(target, size, places.destinationFolder, name));
  }
}

}  // namespace setup
