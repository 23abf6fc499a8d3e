// Moving off a removable disk before the package is read: the stub copies
// itself to "_inst<n>.exe" in the temporary folder and starts that copy with
// the package's path, so that the user can change disks while it runs.
//
// The copy gets this process's own switches after its own, so that a quiet
// run (/Q, /C, /F) and its log (/L) carry over. A quiet first process waits
// for the copy and ends with the copy's exit code; otherwise it ends at once.
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

// WaitForSingleObject's "no time limit".
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// The copy's command line: "\"copy\" /S\"package\" /DEL", then a space and
// `arguments` when there are any (null: none). False when it does not fit
// `size`.
bool BuildRelaunchCommand(const char* copyPath, const char* packagePath, const char* arguments,
                          char* out, uint32_t size);

// The whole relaunch: `programPath` is this program's file, `stubSize` the
// bytes of it to copy, `show` the show command for the copy, `arguments` this
// process's command line. With `exitCode` (the quiet mode) the copy is waited
// for and its exit code left there when RELAUNCH_STARTED is returned (left
// as it was when the copy's code cannot be read).
RelaunchResult RelaunchFromRemovable(Platform& platform, const char* programPath,
                                     const char* packagePath, uint32_t stubSize, int show,
                                     const char* arguments = nullptr,
                                     uint32_t* exitCode = nullptr);

}  // namespace setup
