// Work left for the next restart of Windows: replacing a file that is in use
// by another, or deleting one (the setup's own temporary copy).
//
// Windows NT keeps delayed moves itself (MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT, which needs administrator rights). Windows 95
// and 98 carry out the [Rename] section of WININIT.INI in the Windows folder
// while they restart: each line is destination=source in short (8.3) names,
// and the destination NUL deletes the source. The profile functions cannot
// write a second key of the same name, so a deletion is written under the
// placeholder key "xyz" and the placeholder is then overwritten with "NUL" in
// the file itself; an earlier NUL line is then already no longer "xyz".
#pragma once

#include "platform/platform.h"

namespace setup {

// With a target, `source` is to replace `target` at the next restart; with a
// null target, `source` is to be deleted then. Returns false when nothing was
// scheduled: MoveFileExA failed, a path has no short name, or WININIT.INI
// could not be written, read back or rewritten.
//
// A replacement whose target does not exist yet (on 95/98) is written with
// the short name of the target's folder and the target's own name, when that
// name is a valid 8.3 name; otherwise it fails, since the restart, which
// knows only short names, could not put the file under its long name.
bool ScheduleReplaceAtRestart(Platform& platform, bool windowsNt, const char* target,
                              const char* source);

}  // namespace setup
