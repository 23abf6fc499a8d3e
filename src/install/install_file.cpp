// InstallNextFile keeps one rule for its temporary file: a step that returns
// 1 leaves none behind of its own (it was renamed into place or handed to the
// restart-time replacement); a step that fails deletes it, unless the old file
// is already gone and the temporary file is the only copy of the new content.
#include "install/install_file.h"

#include "base/bytes.h"
#include "base/file_io.h"
#include "base/memory.h"
#include "base/text_format.h"
#include "install/entry_data.h"
#include "install/install_report.h"
#include "install/replace_target.h"
#include "install/restart_replace.h"
#include "install/shortcuts.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "paths/path_folders.h"
#include "paths/target_path.h"
#include "session/messages.h"

namespace setup {

namespace {

constexpr const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr uint32_t kQuestionType = kMbYesNo | kMbIconQuestion | kMbDefButton2;
constexpr uint32_t kDisplayLength = 30;

// Whether the existing file is newer: product version first, then file
// version, each compared high half first, unsigned.
bool IsNewer(const uint8_t* fixed, const uint8_t* version) {
  const uint32_t order[] = {16, 8, 20, 12, 8, 0, 12, 4};  // (existing, ours) offsets
  for (int i = 0; i < 8; i += 2) {
    uint32_t existing = ReadU32(fixed + order[i]);
    uint32_t ours = ReadU32(version + order[i + 1]);
    if (existing != ours) return existing > ours;
  }
  return false;
}

bool Ask(SetupContext& context, Question question, unsigned index) {
  char text[kMessageSize];
  FormatPathMessage(context, index, context.targetPath, text, sizeof text);
  return AskSetupQuestion(context, question, text, kQuestionType) == kIdYes;
}

// Raises the file's count under SharedDLLs, keeping the value's type; a
// value that is missing or not 4 bytes long starts again at 1. A machine
// that never had a shared file lacks the key: it is made, since the
// uninstall log records the count as raised.
void CountSharedFile(Platform& platform, const char* target, RunLog* log) {
  RegKey key = 0;
  if (platform.RegCreateKeyA(kHkeyLocalMachine, kSharedDlls, &key) != 0) return;
  uint8_t data[4] = {};
  uint32_t type = 0;
  uint32_t size = sizeof data;
  uint32_t count = 1;
  if (platform.RegQueryValueExA(key, target, &type, data, &size) == 0 && size == 4) {
    count = ReadU32(data) + 1;
  } else {
    type = kRegDword;
  }
  WriteU32(data, count);
  if (platform.RegSetValueExA(key, target, type, data, sizeof data) == 0 && log != nullptr) {
    char shown[16];
    FormatText(shown, sizeof shown, "%u", "", static_cast<int32_t>(count));
    ReportRegistryValue(log, kHkeyLocalMachine, kSharedDlls, target, shown);
  }
  platform.RegCloseKey(key);
}

void SelfRegister(Platform& platform, const char* target) {
  LibraryHandle library = platform.LoadLibraryA(target);
  if (library == 0) return;
  ProcAddress function = platform.GetProcAddress(library, "DllRegisterServer");
  if (function != 0) platform.CallRegistrationFunction(function);
  platform.FreeLibrary(library);
}

// The extras every entry that gets this far receives, written or not.
void FinishEntry(SetupContext& context, const uint8_t* entry, bool fromPackage) {
  Platform& platform = context.platform;
  const char* target = context.targetPath;
  if (fromPackage) {
    if (EntryFolderKind(entry) != FOLDER_INSTALL && EntrySharedFile(entry) == 1) {
      CountSharedFile(platform, target, context.run.log);
    }
    if (EntryFolderKind(entry) == FOLDER_FONTS && platform.AddFontResourceA(target) != 0) {
      platform.BroadcastFontChange();
    }
    if (EntrySpecialKind(entry) == SPECIAL_SCREEN_SAVER) context.run.screenSaverEntry = entry;
    if (EntrySpecialKind(entry) == SPECIAL_SELF_REGISTER) SelfRegister(platform, target);
  }
  if (EntryFinishRole(entry) == ROLE_DOCUMENT) context.run.documentEntry = entry;
  if (EntryFinishRole(entry) == ROLE_PROGRAM) context.run.programEntry = entry;
  const char* desktopName = FileEntryString(entry, ENTRY_DESKTOP_NAME);
  if (desktopName[0] != '\0') {
    CreateDesktopShortcut(platform, target, desktopName,
                          FileEntryString(entry, ENTRY_DESKTOP_ARGS), context.run.log);
  }
}

void ShowFileName(SetupContext& context) {
  if (context.fileName == nullptr) return;
  char shown[kTargetPathSize];
  CopyText(shown, sizeof shown, context.targetPath);
  ShortenPathForDisplay(shown, kDisplayLength);
  context.fileName->ShowFileName(shown);
}

// Writes the entry into a temporary file and puts it in place. Returns 0, or
// a setup error number (set), or RESULT_ABORTED.
int WriteEntry(SetupContext& context, uint8_t* entry, bool inUse, int progressFrom,
               int progressTo) {
  Platform& platform = context.platform;
  RunState& run = context.run;
  MakePathFolders(platform, context.targetPath);
  int result = WriteEntryToTemporary(context, entry, context.targetPath, run.temporaryPath,
                                     kPathSize, progressFrom, progressTo);
  if (result != 0) {
    run.temporaryPath[0] = '\0';  // already deleted
    return result;
  }
  bool keepTemporary = false;
  if (inUse) {
    if (ScheduleReplaceAtRestart(platform, run.windowsNt, context.targetPath, run.temporaryPath)) {
      ReportFile(context, "scheduled", "in use: at restart");
      run.restartNeeded = true;
      run.temporaryPath[0] = '\0';  // the restart's now
      return 0;
    }
    SetEntryState(entry, STATE_REPLACING);
  } else {
    keepTemporary = ReplaceTargetFile(context, entry, run.temporaryPath);
  }
  if (EntryState(entry) != STATE_REPLACING) {
    run.temporaryPath[0] = '\0';
    return 0;
  }
  if (!keepTemporary) platform.DeleteFileA(run.temporaryPath);
  SetSetupError(context, ERR_REPLACE, context.targetPath);
  return ERR_REPLACE;
}

}  // namespace

int CheckFileVersion(SetupContext& context, const uint8_t* entry) {
  Platform& platform = context.platform;
  uint32_t size = platform.GetFileVersionInfoSizeA(context.targetPath);
  if (size == 0) return 1;
  uint8_t* block = nullptr;
  if (!AllocBlock(platform, size, &block)) return 1;
  int install = 1;
  if (platform.GetFileVersionInfoA(context.targetPath, size, block)) {
    const uint8_t* version = FileEntryVersion(entry);
    const void* value = nullptr;
    uint32_t length = 0;
    if ((EntryFlags(entry) & FEF_CHECK_VERSION) &&
        platform.VerQueryValueA(block, "\\", &value, &length) && value != nullptr &&
        length >= sizeof(FixedFileInfo) && IsNewer(static_cast<const uint8_t*>(value), version)) {
      install = Ask(context, QUESTION_VERSION, 29) ? 1 : 0;
      if (!install) ReportFile(context, "skipped", "newer on the machine");
    }
    if (install && (EntryFlags(entry) & FEF_CHECK_LANGUAGE) &&
        platform.VerQueryValueA(block, "\\VarFileInfo\\Translation", &value, &length) &&
        value != nullptr && length >= 2 &&
        ReadU16(static_cast<const uint8_t*>(value)) != (ReadU32(version + 16) & 0xFFFF)) {
      install = Ask(context, QUESTION_LANGUAGE, 30) ? 1 : 0;
      if (!install) ReportFile(context, "skipped", "other language on the machine");
    }
  }
  FreeBlock(platform, &block);
  return install;
}

void ShortenPathForDisplay(char* path, uint32_t maxLength) {
  uint32_t length = TextLength(path);
  if (length <= maxLength) return;
  uint32_t first = length;
  uint32_t last = length;
  for (uint32_t i = 0; i < length; ++i) {
    if (path[i] != '\\') continue;
    if (first == length) first = i;
    last = i;
  }
  if (first == length || last - first < 4) return;
  uint32_t tail = length - last;
  uint32_t keep = first;
  for (uint32_t i = first; i < last; ++i) {
    if (path[i] != '\\') continue;
    if (i + tail >= maxLength || last - i < 4) break;
    keep = i;
  }
  // The result is never longer than the path: at least four characters
  // between `keep` and `last` give way to "...".
  path[keep + 1] = '.';
  path[keep + 2] = '.';
  path[keep + 3] = '.';
  uint32_t to = keep + 4;
  for (uint32_t i = last; i <= length; ++i) path[to++] = path[i];
}

namespace {

// InstallNextFile's step; the failure of a step is logged by the caller.
int InstallEntry(SetupContext& context) {
  RunState& run = context.run;
  const CurrentComponent& current = context.current;
  uint32_t count = current.fileCount;
  int progressFrom = count != 0 ? static_cast<int>((run.entryIndex + 1) * 100LL / count) : 0;
  ++run.entryIndex;
  if (run.entryIndex < 0 || static_cast<uint32_t>(run.entryIndex) >= count) return 0;

  uint8_t* entry = run.currentEntry;
  run.currentEntry = NextFileEntry(entry);
  SetEntryState(entry, STATE_IDLE);
  run.temporaryPath[0] = '\0';
  PathPlaces places{context.platform, current.destinationFolder, context.packagePath};
  TargetResult resolved =
      ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                        FileEntryString(entry, ENTRY_NAME), context.targetPath, kTargetPathSize);
  ShowFileName(context);
  if (resolved == TargetResult::kTooLong) {
    SetSetupError(context, ERR_CREATE, context.targetPath);
    return 0;
  }
  bool inUse = resolved == TargetResult::kInUse;
  int progressTo = static_cast<int>((run.entryIndex + 1) * 100LL / count);

  uint8_t flags = EntryFlags(entry);
  if (flags & FEF_UNINSTALLER) {
    // Without the package's image the entry's data is no program: it is
    // passed over, so no log or registration will point at it.
    const Payload& image = context.package.uninstaller;
    if (image.data == nullptr || image.size == 0) {
      ReportFile(context, "skipped", "no uninstaller in the package");
      if (context.progress != nullptr) context.progress->SetProgressPercent(progressTo);
      return 1;
    }
    if (TextLength(context.targetPath) >= kPathSize) {
      SetSetupError(context, ERR_CREATE, context.targetPath);
      return 0;
    }
    CopyText(run.uninstallerPath, kPathSize, context.targetPath);
  }

  bool fromPackage = EntryPlacement(entry) != PLACE_SOURCE;
  if (fromPackage) {
    bool write = !(inUse && ExistingFileMatches(context.platform, context.targetPath, entry));
    if (!write) ReportFile(context, "skipped", "in use, same file");
    if (write && EntryHasVersion(entry)) write = CheckFileVersion(context, entry) == 1;
    RecordErrorNumber(run.error, ERR_NONE);
    if (write) {
      int result = WriteEntry(context, entry, inUse, progressFrom, progressTo);
      if (result == RESULT_ABORTED) {
        // The reader has no error of its own for input that ran out: the
        // volume it was reading is named, or the disk the user gave up.
        run.aborted = true;
        if (run.error.number == ERR_NONE) {
          SetSetupError(context, context.reader.gaveUp ? ERR_DISK_CANCELLED : ERR_CORRUPT,
                        context.reader.fileName);
        }
        return 0;
      }
      if (result != 0) return 0;
    }
    if (flags & FEF_UNINSTALLER) SetEntryState(entry, STATE_IDLE);
  } else {
    ReportFile(context, "skipped", "left with the package");
  }
  FinishEntry(context, entry, fromPackage);
  if (context.progress != nullptr) context.progress->SetProgressPercent(progressTo);
  return 1;
}

}  // namespace

int InstallNextFile(SetupContext& context) {
  int more = InstallEntry(context);
  if (more == 0 && context.run.error.number != ERR_NONE) ReportFileFailure(context);
  return more;
}

}  // namespace setup
