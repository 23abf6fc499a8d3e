// The uninstall log's items, as the uninstaller reads them: records of the
// uninstaller's own record stream appended to its installed file.
//
// A counted string is a u16 length and that many bytes of text, without a
// NUL. A file item is the file's folder and name as counted strings and a
// flags byte; a folder inside the destination folder is written relative to
// it ("." for the folder itself, ".\sub\folder" below it), any other folder
// in full, never with a trailing backslash.
#pragma once

#include <cstdint>

#include "base/file_io.h"

namespace setup {

// File item flags.
constexpr uint8_t LOG_SHARED_COUNTED = 0x01;  // its SharedDLLs count was raised
constexpr uint8_t LOG_FONT_ADDED = 0x02;      // added with AddFontResourceA
constexpr uint8_t LOG_SELF_REGISTERED = 0x04;  // DllRegisterServer was called

// Appends a counted string. A text of 65536 bytes or more keeps its length's
// low 16 bits and only that many bytes, so the log stays readable.
WriteResult WriteCountedString(Platform& platform, FileHandle file, const char* text);

// Appends a file item for `path`, split against `destinationFolder` (with or
// without its trailing backslash; compared without regard to case).
WriteResult WriteFileItem(Platform& platform, FileHandle file, const char* destinationFolder,
                          const char* path, uint8_t flags);

}  // namespace setup
