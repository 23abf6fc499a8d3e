#include "install/uninstall_log.h"

#include "base/bytes.h"
#include "install/shortcuts.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "package/package_state.h"
#include "paths/path_helpers.h"
#include "paths/target_path.h"

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

namespace {

constexpr const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The log file's state: where the uninstaller's old stream ended, and its
// end header, to put back when the new log cannot be written whole.
struct LogFile {
  Platform& platform;
  FileHandle file = kInvalidFile;
  uint32_t oldEnd = 0;
  uint8_t oldHeader[kRecordHeaderSize] = {};
  WriteResult result = WRITE_OK;

  bool Writing() const { return file != kInvalidFile && result == WRITE_OK; }
  void Note(WriteResult r) {
    if (result == WRITE_OK) result = r;
  }
  bool SeekTo(uint32_t position) {
    bool moved = SeekFile(platform, file, static_cast<int32_t>(position), kFileBegin) == position;
    if (!moved) Note(WRITE_FAILED);
    return moved;
  }
};

bool OpenLog(LogFile& log, const char* path) {
  log.file = OpenForReadWrite(log.platform, path);
  if (log.file == kInvalidFile) return false;
  log.oldEnd = SeekFile(log.platform, log.file, 0, kFileEnd);
  // A file too short to end in a record header holds no stream to extend.
  if (log.oldEnd == kInvalidSetFilePointer || log.oldEnd < kRecordHeaderSize ||
      !log.SeekTo(log.oldEnd - kRecordHeaderSize) ||
      !ReadExact(log.platform, log.file, log.oldHeader, kRecordHeaderSize) ||
      !log.SeekTo(log.oldEnd)) {
    CloseFile(log.platform, &log.file);
    return false;
  }
  return true;
}

// The file record's items: files this run put in place and marked for the
// log, and every desktop shortcut, whatever became of its file.
uint32_t WriteFileItems(LogFile& log, const SetupContext& context, const PathPlaces& places) {
  const CurrentComponent& current = context.current;
  char target[kTargetPathSize];
  char link[kPathSize];
  uint32_t count = 0;
  const uint8_t* entry = current.firstEntry;
  for (uint32_t i = 0; i < current.fileCount && log.Writing(); ++i, entry = NextFileEntry(entry)) {
    bool resolved = ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                                      FileEntryString(entry, ENTRY_NAME), target,
                                      sizeof target) != TargetResult::kTooLong;
    uint16_t state = EntryState(entry);
    if (resolved && (state == STATE_DONE || state == STATE_NEW) &&
        EntryPlacement(entry) == PLACE_UNINSTALL) {
      uint8_t flags = 0;
      if (EntryFolderKind(entry) != FOLDER_INSTALL && EntrySharedFile(entry) == 1) {
        flags |= LOG_SHARED_COUNTED;
      }
      if (EntryFolderKind(entry) == FOLDER_FONTS) flags |= LOG_FONT_ADDED;
      if (EntrySpecialKind(entry) == SPECIAL_SELF_REGISTER) flags |= LOG_SELF_REGISTERED;
      log.Note(WriteFileItem(log.platform, log.file, current.destinationFolder, target, flags));
      ++count;
    }
    const char* desktopName = FileEntryString(entry, ENTRY_DESKTOP_NAME);
    if (desktopName[0] != '\0' && log.Writing() &&
        DesktopLinkPath(log.platform, desktopName, link)) {
      log.Note(WriteFileItem(log.platform, log.file, current.destinationFolder, link, 0));
      ++count;
    }
  }
  return count;
}

// Makes the uninstall key; returns its path in `key`, or false when the
// component has no display name or the path does not fit.
bool RegisterUninstaller(SetupContext& context, char* key, uint32_t size) {
  const ComponentDescriptor* descriptor = context.current.descriptor;
  if (descriptor == nullptr || descriptor->displayName == nullptr ||
      descriptor->displayName[0] == '\0') {
    return false;
  }
  CopyText(key, size, kUninstallKey);
  if (!AppendText(key, size, descriptor->displayName)) return false;
  Platform& platform = context.platform;
  RegKey handle = 0;
  if (platform.RegCreateKeyA(kHkeyLocalMachine, key, &handle) == 0) {
    // Sizes without the terminating NUL, as uninstallers have always read them.
    platform.RegSetValueExA(handle, "DisplayName", kRegSz, descriptor->displayName,
                            TextLength(descriptor->displayName));
    platform.RegSetValueExA(handle, "UninstallString", kRegSz, context.run.uninstallerPath,
                            TextLength(context.run.uninstallerPath));
    platform.RegCloseKey(handle);
  }
  return true;
}

}  // namespace

void WriteUninstallLog(SetupContext& context) {
  Platform& platform = context.platform;
  PathPlaces places{platform, context.current.destinationFolder, context.packagePath};
  EntryFiles files{context.current.firstEntry, context.current.fileCount};
  LogFile log{platform};
  OpenLog(log, context.run.uninstallerPath);

  // The file record: its count's place, its items, then, at the very end,
  // its header over the old end header.
  uint32_t count = 0;
  uint32_t filesEnd = 0;
  if (log.Writing()) {
    uint8_t placeholder[4] = {};
    log.Note(WriteBytes(platform, log.file, placeholder, 4));
    if (log.Writing()) count = WriteFileItems(log, context, places);
    filesEnd = log.oldEnd;
    if (log.Writing()) filesEnd = TellFile(platform, log.file);
    if (filesEnd == kInvalidSetFilePointer) log.Note(WRITE_FAILED);
  }
  log.Note(CreateMenuShortcuts(places, files, log.Writing() ? log.file : kInvalidFile));
  char key[kPathSize * 2];
  if (RegisterUninstaller(context, key, sizeof key) && log.Writing()) {
    log.Note(WriteRegistrationRecord(platform, log.file, key));
  }
  if (log.Writing()) log.Note(WriteEndRecord(platform, log.file));
  if (log.Writing()) {
    uint8_t counted[4];
    WriteU32(counted, count);
    if (log.SeekTo(log.oldEnd)) log.Note(WriteBytes(platform, log.file, counted, 4));
  }
  if (log.Writing()) {
    uint8_t header[kRecordHeaderSize];
    RecordHeader(header, LOG_FILES, filesEnd - log.oldEnd);
    if (log.SeekTo(log.oldEnd - kRecordHeaderSize)) {
      log.Note(WriteBytes(platform, log.file, header, kRecordHeaderSize));
    }
  }
  if (log.file != kInvalidFile && log.result != WRITE_OK) {
    // Back to the old stream: its end header, and nothing after it.
    if (SeekFile(platform, log.file, static_cast<int32_t>(log.oldEnd - kRecordHeaderSize),
                 kFileBegin) != kInvalidSetFilePointer) {
      WriteBytes(platform, log.file, log.oldHeader, kRecordHeaderSize);
    }
    if (SeekFile(platform, log.file, static_cast<int32_t>(log.oldEnd), kFileBegin) == log.oldEnd) {
      platform.SetEndOfFile(log.file);
    }
  }
  CloseFile(platform, &log.file);
}

}  // namespace setup
