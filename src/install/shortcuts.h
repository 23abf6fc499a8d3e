// Shortcuts to installed files: one on the desktop, made while the file is
// installed, and one in the Start menu, made for the whole list when the run
// finishes and recorded in the uninstall log.
//
// A Start-menu shortcut goes into the Programs folder, or a group below it
// (one or more levels, made when missing), or straight into the Start menu
// ("#Start Menu#") or the Startup folder ("#Startup#"). The shell's failures
// are silent: a shortcut that cannot be made is simply missing; only a folder
// that cannot be made keeps a shortcut out of the log.
#pragma once

#include <cstdint>

#include "base/file_io.h"
#include "install/entry_changes.h"
#include "install/uninstall_log.h"
#include "paths/path_variables.h"

namespace setup {

class RunLog;

// Writes the ".lnk" file `linkPath` to `target`, working in the target's
// folder (a target in a drive root works in "C:"), with `arguments` (empty:
// none) and the target's icon `iconIndex` (0: the shell's choice). Returns
// the shell's HRESULT.
int32_t CreateShortcut(Platform& platform, const char* target, const char* linkPath,
                       const char* arguments, int iconIndex);

// The desktop's link for `desktopName` into `out` (260 bytes); false when the
// desktop folder is unknown or the path does not fit.
bool DesktopLinkPath(Platform& platform, const char* desktopName, char* out);
// The desktop shortcut, told to `log` (null: none) as made or failed.
void CreateDesktopShortcut(Platform& platform, const char* target, const char* desktopName,
                           const char* arguments, RunLog* log = nullptr);

// A Start-menu shortcut's folder and link (260 bytes each); false when the
// shell folder is unknown or a path does not fit.
bool MenuLinkPath(Platform& platform, const char* shortcutFolder, const char* shortcutName,
                  char* folder, char* link);

// One Start-menu shortcut, recorded in `record` (null: none) when its folder
// exists or could be made.
void CreateMenuShortcut(Platform& platform, const char* target, const char* shortcutFolder,
                        const char* shortcutName, const char* shortcutArgs, int iconIndex,
                        ShortcutRecord* record);

// The pass over the list: every entry with a shortcut name gets its
// shortcut, whatever became of its file. With a log (not kInvalidFile) the
// shortcut record is written around the items when any entry has a name.
// Returns how the record's writes went.
WriteResult CreateMenuShortcuts(const PathPlaces& places, const EntryFiles& files,
                                FileHandle log);

// After CreateMenuShortcuts: one line per entry's Start-menu shortcut, as
// found on the disk (made, or failed), with the entry's name. Nothing without
// a log.
void ReportMenuShortcuts(const PathPlaces& places, const EntryFiles& files, RunLog* log);

}  // namespace setup
