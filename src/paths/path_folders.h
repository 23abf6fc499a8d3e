// Folders of a path: making the missing ones, and the stored form of an
// existing path.
//
// Neither changes the process's current folder: a folder's existence is its
// attributes, not whether it can be entered. So a relative path means the
// same thing before and after, whatever folders were looked at on the way.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Whether `path` names an existing folder.
bool FolderExists(Platform& platform, const char* path);

// Creates every missing folder of the folder part of `path` (up to its last
// "\"). The root (C:\, or \\server\share\ of a network path) is taken as
// there. Returns 0 when every folder exists, 1 when one could not be made,
// -1 when memory ran out.
int MakePathFolders(Platform& platform, const char* path);

// Rewrites an existing path in the form the file system stores it: long names
// for short ones and each name's stored case; a trailing "\" is dropped (a
// drive root keeps it). A path that does not exist throughout stays as it is.
// False, with the path unchanged, when the stored form does not fit in `size`.
bool CanonicalizePath(Platform& platform, char* path, uint32_t size);

}  // namespace setup
