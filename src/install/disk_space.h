// The check before an install run: room on the destination folder's drive for
// the component's files, and every existing target within reach.
//
// Room is counted in whole clusters of the destination drive: each file
// needs its size rounded up to clusters, less what the file it replaces
// already holds; and one more copy of the largest file is reserved for the
// temporary file that stands beside its target until the old one goes. Sizes
// are summed in bytes in 64 bits and compared in KiB, so drives and sums past
// 4 GB (and free space past 1 TB) come out right; a KiB figure kept in 32 bits
// is clamped below the all-ones value, which means "unknown".
//
// An existing target that cannot be opened for reading and writing is made
// writable for a second try and then given back exactly the attributes it had,
// hidden and system included.
#pragma once

#include <cstdint>

#include "base/errors.h"
#include "paths/path_variables.h"

namespace setup {

// What the check found: the setup error numbers it stands for.
enum DiskCheck : int {
  DISK_CHECK_OK = ERR_NONE,
  DISK_CHECK_READ_ONLY = ERR_TARGET_READ_ONLY,  // the subject names the target
  DISK_CHECK_NO_ROOM = ERR_DISK_SPACE,
};

// DriveFreeKilobytes when the free space cannot be found out.
constexpr uint32_t kUnknownFreeSpace = 0xFFFFFFFFu;
// DriveClusterKilobytes when the cluster size cannot be found out.
constexpr uint32_t kDefaultClusterKilobytes = 32;

// The free space of the drive that holds `path`, in KiB, at most
// kUnknownFreeSpace - 1; kUnknownFreeSpace when it cannot be found out. A
// path with a drive letter asks for its root; any other (a network path) is
// passed as it is.
uint32_t DriveFreeKilobytes(Platform& platform, const char* path);
// The cluster size of that drive in KiB, rounded up.
uint32_t DriveClusterKilobytes(Platform& platform, const char* path);

// The file list the check walks. An existing font's entry marked for the
// uninstall log is lowered to PLACE_KEEP, so the uninstaller never takes a
// font this setup did not bring.
struct CheckedFiles {
  uint8_t* firstEntry;  // null when the list is empty
  uint32_t count;
};

// Checks `places.destinationFolder`'s drive for the files. `readOnlyMet` is
// set when an existing target lacked read or write access; on
// DISK_CHECK_READ_ONLY the target's path is written to `error.subject` (the
// error number is left to the caller, who asks or tells the user).
DiskCheck CheckDiskSpace(const PathPlaces& places, const CheckedFiles& files, SetupError& error,
                         bool* readOnlyMet);

}  // namespace setup
