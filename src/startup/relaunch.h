// Moving off a removable disk before the package is read: the stub copies
// itself to "_inst<n>.exe" in the temporary folder and starts that copy with
// the package's path, so that the user can change disks while it runs.
//
// The copy's path and the package's path are both quoted on its command line:
// unquoted, a temporary folder with a space would be split by Windows and the
// copy would see neither switch. Every step is checked; a copy that cannot be
// written whole or started is deleted, and the setup goes on from the disk.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

enum RelaunchResult {
  RELAUNCH_NOT_NEEDED,  // not on a removable drive: go on
  RELAUNCH_FAILED,      // on one, but the copy could not be made or started: go on from it
  RELAUNCH_STARTED,     // the copy runs; this process ends with 0
};

// The drive root "X:\" of `programPath` in `root` (4 bytes); false for a
// network path or any path without a drive letter.
bool ProgramDriveRoot(const char* programPath, char root[4]);

// The copy's command line: "\"copy\" /S\"package\" /DEL". False when it does
// not fit `size`.
bool BuildRelaunchCommand(const char* copyPath, const char* packagePath, char* out,
                          uint32_t size);

// The whole relaunch: `programPath` is this program's file, `stubSize` the
// bytes of it to copy, `show` the show command for the copy.
RelaunchResult RelaunchFromRemovable(Platform& platform, const char* programPath,
                                     const char* packagePath, uint32_t stubSize, int show);

}  // namespace setup
