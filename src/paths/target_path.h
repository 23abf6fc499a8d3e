// Target paths: where a file entry's file goes, from its folder kind and
// placement and its name (which may hold subfolders).
//
//   placement PLACE_SOURCE  the package file's folder, then the name
//   FOLDER_WINDOWS          the Windows folder
//   FOLDER_FONTS            the shell's Fonts folder (the Windows folder's
//                           Fonts when the shell names none)
//   FOLDER_SYSTEM           the shared-file search below
//   FOLDER_INSTALL, other   the destination folder
//
// The shared-file search asks VerFindFileA where the current copy of the
// name's last part is and where a shared file belongs; the target is the
// current copy when there is one, else the system folder's, and the file
// counts as in use when Windows says so and the target is there (or is where
// the file belongs).
#pragma once

#include <cstdint>

#include "paths/path_variables.h"

namespace setup {

enum class TargetResult {
  kResolved,
  kInUse,    // the shared-file search found the target in use
  kTooLong,  // the path does not fit: the target holds as much as fits
};

// Fills `target` (of `size` bytes; the engine's is 520) for one entry.
TargetResult ResolveTargetPath(const PathPlaces& places, uint8_t folderKind, uint8_t placement,
                               const char* name, char* target, uint32_t size);

}  // namespace setup
