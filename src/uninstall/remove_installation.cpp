#include "uninstall/remove_installation.h"

#include "base/bytes.h"
#include "base/text.h"
#include "base/text_format.h"
#include "install/restart_replace.h"
#include "install/uninstall_log.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

constexpr const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char kFontsNt[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char kFonts95[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Whether a path part is "." or "..": a log names real folders, and a part
// that climbs would reach outside the folder it names.
bool HasDotPart(const char* text, uint32_t length) {
  uint32_t start = 0;
  for (uint32_t i = 0; i <= length; ++i) {
    if (i == length || IsSeparator(text[i])) {
      uint32_t n = i - start;
      if ((n == 1 && text[start] == '.') || (n == 2 && text[start] == '.' && text[start + 1] == '.')) {
        return true;
      }
      start = i + 1;
    }
  }
  return false;
}

// The full path of a logged item: "." and ".\sub" folders lie in the
// destination folder, any other is a full path (a drive's or a share's).
// False for a name or folder no setup writes.
bool ItemPath(const char* destination, const LogText& folder, const LogText& name, char* out,
              uint32_t size) {
  if (name.length == 0) return false;
  for (uint16_t i = 0; i < name.length; ++i) {
    if (IsSeparator(name.text[i]) || name.text[i] == ':') return false;
  }
  if (HasDotPart(name.text, name.length)) return false;
  char part[kPathSize];
  if (!CopyLogText(folder, part, sizeof part)) return false;
  if (part[0] == '.' && (part[1] == '\0' || part[1] == '\\')) {
    if (HasDotPart(part + 1, TextLength(part + 1))) return false;
    CopyText(out, size, destination);
    if (!AppendText(out, size, part + 1)) return false;
  } else {
    // A drive's root is written as "D:", without its backslash.
    bool absolute = (part[0] != '\0' && part[1] == ':' && (part[2] == '\\' || part[2] == '\0')) ||
                    (part[0] == '\\' && part[1] == '\\');
    if (!absolute || HasDotPart(part, TextLength(part))) return false;
    CopyText(out, size, part);
  }
  char file[kPathSize];
  if (!CopyLogText(name, file, sizeof file)) return false;
  return AppendText(out, size, "\\") && AppendText(out, size, file);
}

// Cuts the last part off a path; false when there is none left to cut.
bool CutLastPart(char* path) {
  uint32_t n = TextLength(path);
  while (n > 0 && path[n - 1] != '\\') --n;
  if (n <= 1) return false;
  path[n - 1] = '\0';
  return true;
}

// Whether `path` lies strictly below `folder` (given without its trailing "\").
bool IsBelow(const char* path, const char* folder) {
  uint32_t n = TextLength(folder);
  if (n == 0 || TextLength(path) <= n + 1 || path[n] != '\\') return false;
  char head[kPathSize];
  CopyText(head, n + 1 <= sizeof head ? n + 1 : sizeof head, path);
  return TextEqualNoCase(head, folder);
}

class Removal {
 public:
  Removal(Platform& platform, const RemovalSettings& settings, RemovalQuestions& questions,
          uint32_t total)
      : platform_(platform), settings_(settings), questions_(questions), total_(total) {
    CopyText(destination_, sizeof destination_, settings.uninstallerPath);
    if (!CutLastPart(destination_)) destination_[0] = '\0';
  }

  void Files(const UninstallLogRecords& records);
  void Shortcuts(const UninstallLogRecords& records);
  void Registration(const UninstallLogRecords& records);
  void Self();
  RemovalResult result() const { return result_; }

 private:
  void Log(const char* action, const char* subject, const char* detail = nullptr) {
    if (settings_.log != nullptr) settings_.log->Line(action, subject, detail);
  }
  void Leave(const char* path, LeftReason reason, const char* action) {
    questions_.Left(path, reason);
    Log(action, path);
  }
  void Progress(const char* path) {
    questions_.Progress(path, total_ != 0 ? static_cast<int>(done_ * 100 / total_) : 100);
    ++done_;
  }
  void RemoveFile(const char* path, uint8_t flags);
  bool Delete(const char* path);
  // Removes the folder of `path` and each folder above it that is left
  // empty, up to (not including) `stop`. With `report`, the folder where
  // that stops because it still holds something is reported left, once.
  void RemoveEmptyFolders(const char* path, const char* stop, bool report = false);
  void ScheduleFolders(const char* path, const char* stop);
  // The file's SharedDLLs count, or -1 when it has none.
  long SharedCount(const char* path);
  // Lowers it by 1 and returns the new count (-1: none); a count that
  // reaches 0 is deleted when `deleteAtZero`, else kept at 0.
  long LowerSharedCount(const char* path, bool deleteAtZero);
  void RemoveFontEntries(const char* path);
  void Unregister(const char* path);

  Platform& platform_;
  const RemovalSettings& settings_;
  RemovalQuestions& questions_;
  char destination_[kPathSize];
  char lastLeftFolder_[kPathSize] = {};
  RemovalResult result_ = {};
  uint32_t done_ = 0;
  uint32_t total_;  // items of both records, for the progress
};

bool Removal::Delete(const char* path) {
  uint32_t attributes = platform_.GetFileAttributesA(path);
  if (attributes == kInvalidFileAttributes) {
    Log("missing", path);
    return true;
  }
  if (attributes & kAttrReadOnly) platform_.SetFileAttributesA(path, attributes & ~kAttrReadOnly);
  if (platform_.DeleteFileA(path)) {
    ++result_.removed;
    Log("removed", path);
    return true;
  }
  uint32_t error = platform_.GetLastError();
  if (error == kErrorFileNotFound || error == kErrorPathNotFound) {
    Log("missing", path);
    return true;
  }
  if (ScheduleReplaceAtRestart(platform_, settings_.windowsNt, nullptr, path)) {
    result_.restartNeeded = true;
    Leave(path, LEFT_AT_RESTART, "restart");
  } else {
    result_.failed = true;
    Leave(path, LEFT_FAILED, "failed");
  }
  return false;
}

long Removal::SharedCount(const char* path) {
  RegKey key = 0;
  if (platform_.RegOpenKeyA(kHkeyLocalMachine, kSharedDlls, &key) != 0) return -1;
  uint8_t data[4] = {};
  uint32_t size = sizeof data;
  long count = -1;
  if (platform_.RegQueryValueExA(key, path, nullptr, data, &size) == 0 && size == 4) {
    count = static_cast<long>(ReadU32(data));
  }
  platform_.RegCloseKey(key);
  return count;
}

long Removal::LowerSharedCount(const char* path, bool deleteAtZero) {
  RegKey key = 0;
  if (platform_.RegOpenKeyA(kHkeyLocalMachine, kSharedDlls, &key) != 0) return -1;
  uint8_t data[4] = {};
  uint32_t type = 0;
  uint32_t size = sizeof data;
  long count = -1;
  if (platform_.RegQueryValueExA(key, path, &type, data, &size) == 0 && size == 4) {
    uint32_t value = ReadU32(data);
    count = value > 0 ? static_cast<long>(value - 1) : 0;
    if (count == 0 && deleteAtZero) {
      platform_.RegDeleteValueA(key, path);
    } else {
      WriteU32(data, static_cast<uint32_t>(count));
      platform_.RegSetValueExA(key, path, type, data, sizeof data);
    }
  }
  platform_.RegCloseKey(key);
  return count;
}

// The Fonts key names each font by its face; its data is the file's name
// (for a font in the Fonts folder) or its full path. Every value that
// names this file goes.
void Removal::RemoveFontEntries(const char* path) {
  if (platform_.RemoveFontResourceA(path)) platform_.BroadcastFontChange();
  RegKey key = 0;
  if (platform_.RegOpenKeyA(kHkeyLocalMachine, settings_.windowsNt ? kFontsNt : kFonts95, &key) != 0) {
    return;
  }
  const char* name = path + TextLength(path);
  while (name > path && name[-1] != '\\') --name;
  for (uint32_t index = 0;;) {
    char value[kPathSize];
    char data[kPathSize + 1];
    uint32_t valueSize = sizeof value;
    uint32_t dataSize = sizeof data - 1;
    uint32_t type = 0;
    long status = platform_.RegEnumValueA(key, index, value, &valueSize, &type, data, &dataSize);
    if (status == kErrorNoMoreItems || (status != 0 && status != static_cast<long>(kErrorMoreData))) break;
    data[status == 0 && dataSize < sizeof data ? dataSize : 0] = '\0';
    if (status == 0 && type == kRegSz && (TextEqualNoCase(data, name) || TextEqualNoCase(data, path)) &&
        platform_.RegDeleteValueA(key, value) == 0) {
      Log("font", path, value);
      continue;  // the next value now has this index
    }
    ++index;
  }
  platform_.RegCloseKey(key);
}

void Removal::Unregister(const char* path) {
  LibraryHandle library = platform_.LoadLibraryA(path);
  if (library == 0) return;
  ProcAddress function = platform_.GetProcAddress(library, "DllUnregisterServer");
  if (function != 0) {
    platform_.CallRegistrationFunction(function);
    Log("unregistered", path);
  }
  platform_.FreeLibrary(library);
}

void Removal::RemoveFile(const char* path, uint8_t flags) {
  if (flags & LOG_SHARED_COUNTED) {
    // The count is lowered in every case; its value goes only with the file.
    // A file whose count is gone is taken as counted by nobody.
    bool exists = platform_.GetFileAttributesA(path) != kInvalidFileAttributes;
    bool stillCounted = SharedCount(path) > 1;
    bool remove = !stillCounted && (!exists || questions_.RemoveSharedFile(path));
    long count = LowerSharedCount(path, remove);
    if (!remove) {
      char detail[24];
      FormatText(detail, sizeof detail, "count %d", nullptr, static_cast<int32_t>(count));
      questions_.Left(path, stillCounted ? LEFT_STILL_USED : LEFT_SHARED_KEPT);
      Log("kept", path, detail);
      return;
    }
  }
  if (flags & LOG_SELF_REGISTERED) Unregister(path);
  if (flags & LOG_FONT_ADDED) RemoveFontEntries(path);
  if (!Delete(path) && IsBelow(path, destination_)) ScheduleFolders(path, destination_);
}

void Removal::RemoveEmptyFolders(const char* path, const char* stop, bool report) {
  char folder[kPathSize];
  CopyText(folder, sizeof folder, path);
  while (CutLastPart(folder) && IsBelow(folder, stop)) {
    if (platform_.GetFileAttributesA(folder) == kInvalidFileAttributes) continue;
    if (!platform_.RemoveDirectoryA(folder)) {
      if (report && platform_.GetLastError() == kErrorDirNotEmpty &&
          !TextEqualNoCase(folder, lastLeftFolder_)) {
        CopyText(lastLeftFolder_, sizeof lastLeftFolder_, folder);
        Leave(folder, LEFT_NOT_EMPTY, "kept");
      }
      return;
    }
    ++result_.removed;
    Log("removed", folder);
  }
}

// Folders above a file that is deleted at the restart can only go after it:
// NT carries out its delayed moves in order and fails harmlessly on a
// folder that is not empty then. WININIT.INI cannot delete folders.
void Removal::ScheduleFolders(const char* path, const char* stop) {
  if (!settings_.windowsNt) return;
  char folder[kPathSize];
  CopyText(folder, sizeof folder, path);
  while (CutLastPart(folder) && IsBelow(folder, stop)) {
    ScheduleReplaceAtRestart(platform_, true, nullptr, folder);
  }
}

void Removal::Files(const UninstallLogRecords& records) {
  const uint8_t* cursor = records.fileItems;
  for (uint32_t i = 0; i < records.fileCount; ++i) {
    LoggedFileItem item;
    NextLoggedFile(&cursor, &item);
    char path[kPathSize];
    if (!ItemPath(destination_, item.folder, item.name, path, sizeof path)) {
      char shown[kPathSize];
      CopyLogText(item.name, shown, sizeof shown);
      result_.failed = true;
      Leave(shown, LEFT_FAILED, "refused");
      continue;
    }
    Progress(path);
    RemoveFile(path, item.flags);
  }
  // A folder is tried again once everything in the log is gone: a folder
  // holds files of several entries, in any order.
  cursor = records.fileItems;
  for (uint32_t i = 0; i < records.fileCount; ++i) {
    LoggedFileItem item;
    NextLoggedFile(&cursor, &item);
    char path[kPathSize];
    if (!ItemPath(destination_, item.folder, item.name, path, sizeof path)) continue;
    if (!IsBelow(path, destination_)) continue;
    // A folder that still holds this item (in use, or a shared file kept)
    // is explained by it; one that holds only other things is reported.
    RemoveEmptyFolders(path, destination_, platform_.GetFileAttributesA(path) == kInvalidFileAttributes);
  }
}

void Removal::Shortcuts(const UninstallLogRecords& records) {
  char programs[kPathSize] = {};
  if (!platform_.GetSpecialFolderPath(kCsidlPrograms, programs)) programs[0] = '\0';
  StripBackslash(programs);
  const uint8_t* cursor = records.shortcutItems;
  for (uint32_t i = 0; records.hasShortcuts && i < records.shortcutCount; ++i) {
    LoggedShortcutItem item;
    NextLoggedShortcut(&cursor, &item);
    char path[kPathSize];
    if (!ItemPath(destination_, item.folder, item.link, path, sizeof path)) {
      result_.failed = true;
      continue;
    }
    Progress(path);
    if (Delete(path) && IsBelow(path, programs)) RemoveEmptyFolders(path, programs);
  }
}

void Removal::Registration(const UninstallLogRecords& records) {
  if (!records.hasRegistration) return;
  char key[kPathSize];
  if (!CopyLogText(records.registrationKey, key, sizeof key) || key[0] == '\0') return;
  RegKey root = records.registrationRoot;
  if (root != kHkeyLocalMachine && root != kHkeyCurrentUser) return;
  if (platform_.RegDeleteKeyA(root, key) == 0) Log("registry", key, "removed");
}

void Removal::Self() {
  const char* self = settings_.uninstallerPath;
  if (ScheduleReplaceAtRestart(platform_, settings_.windowsNt, nullptr, self)) Log("restart", self);
  if (destination_[0] == '\0') return;
  if (platform_.RemoveDirectoryA(destination_)) return;
  if (settings_.windowsNt && ScheduleReplaceAtRestart(platform_, true, nullptr, destination_)) {
    Log("restart", destination_);
  }
}

}  // namespace

RemovalResult RemoveInstallation(Platform& platform, const RemovalSettings& settings,
                                 const UninstallLogRecords& records, RemovalQuestions& questions) {
  Removal removal(platform, settings, questions,
                  records.fileCount + (records.hasShortcuts ? records.shortcutCount : 0));
  removal.Files(records);
  removal.Shortcuts(records);
  removal.Registration(records);
  removal.Self();
  return removal.result();
}

}  // namespace setup
