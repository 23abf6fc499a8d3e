// The installed uninstaller's own file, as it reads itself: its program
// image, then its record stream (its texts, written by mkpkg as the
// uninstaller entry's data), then the uninstall log that the setup appended
// over that stream's end header, then the end header.
//
// The program image tells its own length: a PE image ends where its last
// section's raw data ends (our image carries no certificate or debug data
// after it). The stream is walked record by record from there; records of
// types the uninstaller does not know are passed over, and the log begins at
// the first file record. An end header before any file record means that no
// setup ever appended a log to this file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "install/uninstall_log_reader.h"
#include "package/package_state.h"
#include "platform/platform.h"

namespace setup {

enum UninstallerFileResult : int {
  UNINSTALLER_FILE_OK = 0,
  UNINSTALLER_FILE_UNREADABLE,  // the file could not be opened or read
  UNINSTALLER_FILE_NO_MEMORY,
  UNINSTALLER_FILE_NO_IMAGE,    // not a program image we can measure
  UNINSTALLER_FILE_NO_LOG,      // the stream ends before any log
  UNINSTALLER_FILE_DAMAGED,     // the stream or the log is damaged (see problem)
};

struct UninstallerFile {
  uint8_t* bytes;  // the whole file, from the process heap; null when none
  uint32_t size;
  StringGroup texts;  // data null when the stream carries none
  UninstallLogRecords log;
  LogProblem problem;  // why the log was refused
};

// Where the program image in `file` ends, or 0 when it is no PE image or its
// sections do not lie within the file.
size_t ProgramImageSize(const uint8_t* file, size_t size);

// Finds the texts and the log in a file already in memory (out->bytes and
// out->size set).
UninstallerFileResult ReadUninstallerRecords(UninstallerFile* out);

// Reads the file at `path` into memory and then its records.
UninstallerFileResult LoadUninstallerFile(Platform& platform, const char* path,
                                          UninstallerFile* out);
void FreeUninstallerFile(Platform& platform, UninstallerFile* file);

}  // namespace setup
