#include "install/shortcuts.h"

#include "base/run_log.h"
#include "package/file_entry.h"
#include "paths/path_folders.h"
#include "paths/path_helpers.h"
#include "paths/target_path.h"

namespace setup {

namespace {

constexpr const char kLinkExtension[] = ".lnk";

void ReportShortcut(RunLog* log, const char* link, const char* target, bool made) {
  if (log != nullptr) log->Line(made ? "shortcut" : "shortcut failed", link, target);
}

}  // namespace

int32_t CreateShortcut(Platform& platform, const char* target, const char* linkPath,
                       const char* arguments, int iconIndex) {
  char folder[kTargetPathSize];
  CopyText(folder, sizeof folder, target);
  uint32_t cut = TextLength(folder);
  while (cut > 0 && folder[cut - 1] != '\\') --cut;
  if (cut > 0) folder[cut - 1] = '\0';
  ShellLinkInfo link{};
  link.path = target;
  link.workingFolder = cut > 0 ? folder : nullptr;
  link.arguments = arguments != nullptr && arguments[0] != '\0' ? arguments : nullptr;
  link.iconPath = iconIndex != 0 ? target : nullptr;
  link.iconIndex = iconIndex;
  return platform.CreateShellLink(link, linkPath);
}

bool DesktopLinkPath(Platform& platform, const char* desktopName, char* out) {
  if (!platform.GetSpecialFolderPath(kCsidlDesktop, out)) return false;
  AppendBackslash(out, kPathSize);
  return AppendText(out, kPathSize, desktopName) && AppendText(out, kPathSize, kLinkExtension);
}

void CreateDesktopShortcut(Platform& platform, const char* target, const char* desktopName,
                           const char* arguments, RunLog* log) {
  char link[kPathSize];
  if (DesktopLinkPath(platform, desktopName, link)) {
    ReportShortcut(log, link, target, CreateShortcut(platform, target, link, arguments, 0) >= 0);
  }
}

bool MenuLinkPath(Platform& platform, const char* shortcutFolder, const char* shortcutName,
                  char* folder, char* link) {
  int base = kCsidlPrograms;
  bool group = true;
  if (TextEqualNoCase(shortcutFolder, "#Start Menu#")) {
    base = kCsidlStartMenu;
    group = false;
  } else if (TextEqualNoCase(shortcutFolder, "#Startup#")) {
    base = kCsidlStartup;
    group = false;
  }
  if (!platform.GetSpecialFolderPath(base, folder)) return false;
  if (group && shortcutFolder[0] != '\0') {
    AppendBackslash(folder, kPathSize);
    if (!AppendText(folder, kPathSize, shortcutFolder)) return false;
  }
  StripBackslash(folder);
  CopyText(link, kPathSize, folder);
  AppendBackslash(link, kPathSize);
  return AppendText(link, kPathSize, shortcutName) && AppendText(link, kPathSize, kLinkExtension);
}

void CreateMenuShortcut(Platform& platform, const char* target, const char* shortcutFolder,
                        const char* shortcutName, const char* shortcutArgs, int iconIndex,
                        ShortcutRecord* record) {
  char folder[kPathSize];
  char link[kPathSize];
  if (!MenuLinkPath(platform, shortcutFolder, shortcutName, folder, link)) return;
  // A drive root keeps its backslash.
  uint32_t nameAt = TextLength(folder);
  if (nameAt == 0 || folder[nameAt - 1] != '\\') ++nameAt;
  // MakePathFolders makes the folders before the last backslash, so the
  // group's own level needs one after it.
  if (!FolderExists(platform, folder)) {
    AppendBackslash(folder, kPathSize);
    MakePathFolders(platform, folder);
    StripBackslash(folder);
  }
  if (!FolderExists(platform, folder)) return;
  CreateShortcut(platform, target, link, shortcutArgs, iconIndex);
  if (record != nullptr) record->Add(folder, link + nameAt);
}

WriteResult CreateMenuShortcuts(const PathPlaces& places, const EntryFiles& files,
                                FileHandle log) {
  ShortcutRecord record(places.platform, log);
  char target[kTargetPathSize];
  const uint8_t* entry = files.firstEntry;
  for (uint32_t i = 0; i < files.count; ++i, entry = NextFileEntry(entry)) {
    const char* name = FileEntryString(entry, ENTRY_SHORTCUT_NAME);
    if (name[0] == '\0') continue;
    record.Begin();
    if (ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                          FileEntryString(entry, ENTRY_NAME), target,
                          sizeof target) == TargetResult::kTooLong) {
      continue;
    }
    CreateMenuShortcut(places.platform, target, FileEntryString(entry, ENTRY_SHORTCUT_FOLDER),
                       name, FileEntryString(entry, ENTRY_SHORTCUT_ARGS), EntryIconIndex(entry),
                       &record);
  }
  record.Finish();
  return record.result();
}

void ReportMenuShortcuts(const PathPlaces& places, const EntryFiles& files, RunLog* log) {
  if (log == nullptr) return;
  Platform& platform = places.platform;
  char folder[kPathSize];
  char link[kPathSize];
  const uint8_t* entry = files.firstEntry;
  for (uint32_t i = 0; i < files.count; ++i, entry = NextFileEntry(entry)) {
    const char* name = FileEntryString(entry, ENTRY_SHORTCUT_NAME);
    if (name[0] != '\0' &&
        MenuLinkPath(platform, FileEntryString(entry, ENTRY_SHORTCUT_FOLDER), name, folder, link)) {
      ReportShortcut(log, link, FileEntryString(entry, ENTRY_NAME),
                     platform.GetFileAttributesA(link) != kInvalidFileAttributes);
    }
  }
}

}  // namespace setup
