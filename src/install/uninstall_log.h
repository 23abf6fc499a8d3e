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
#include "session/setup_context.h"

namespace setup {

// Appends the log to the installed uninstaller (context.run.uninstallerPath)
// and registers it: the file record (installed files marked for the log, and
// desktop shortcuts), the Start-menu shortcuts and their record, the
// uninstall key and its record, the end record. The Start-menu shortcuts and
// the uninstall key are made even when the file cannot be written.
//
// The uninstaller must always read either its old log or the whole new one:
// the new records are written after its old end, and its old end header is
// overwritten by the file record's header only once everything after it is
// in place. Any write that fails or comes up short cuts the file back to its
// old length with its old end header.
void WriteUninstallLog(SetupContext& context);

// Record types of the log, in the uninstaller's record stream.
constexpr uint16_t LOG_FILES = 0x1235;
constexpr uint16_t LOG_SHORTCUTS = 0x1236;
constexpr uint16_t LOG_REGISTRATION = 0x1238;
constexpr uint16_t LOG_END = 0x7F7F;

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

// The shortcut record: u32 item count, then per Start-menu shortcut made its
// folder (in full, no trailing backslash) and its link file's name. The
// shortcut pass opens it at the first entry with a shortcut name, whether or
// not that shortcut gets made, and closes it at its end. Once a write fails
// or comes up short nothing more is written, and result() tells it.
class ShortcutRecord {
 public:
  // kInvalidFile: no log; every call does nothing.
  ShortcutRecord(Platform& platform, FileHandle log) : platform_(platform), log_(log) {}

  // Writes the header and a count of 0, the first time only.
  void Begin();
  void Add(const char* folder, const char* linkName);
  // Puts the length and count into the header and moves back to the end.
  void Finish();
  WriteResult result() const { return result_; }

 private:
  void Write(const void* bytes, uint32_t n);

  Platform& platform_;
  FileHandle log_;
  bool begun_ = false;
  uint32_t start_ = 0;
  uint32_t count_ = 0;
  WriteResult result_ = WRITE_OK;
};

// The registration record: the root HKEY_LOCAL_MACHINE and the uninstall key's path.
WriteResult WriteRegistrationRecord(Platform& platform, FileHandle file, const char* keyPath);
// The end record's header.
WriteResult WriteEndRecord(Platform& platform, FileHandle file);

}  // namespace setup
