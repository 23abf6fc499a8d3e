// Reading the uninstall log back from an installed uninstaller.
//
// The installed uninstaller is the uninstaller's program image, then its own
// record stream (8-byte headers: u16 type, u16 flags, u32 length), whose end
// header the setup overwrote with the log's first record:
//
//   0x1235 files         u32 count; per item: folder, name (counted strings:
//                        u16 length and the bytes, no NUL), u8 flags
//   0x1236 shortcuts     u32 count; per item: folder, link name
//                        (only when some entry had a Start-menu shortcut)
//   0x1238 registration  u32 root (HKEY_LOCAL_MACHINE), the key path
//                        (only when the component has a display name)
//   0x7F7F end           length 0; the file's last 8 bytes
//
// Finding the log from the file alone: the program image is opaque (nothing
// in it tells its length; mkpkg appends it as the package carries it), so
// the uninstaller's own stream cannot be walked from its start. Records only
// link forward, so the log is found from the end instead: the last 8 bytes
// must be the end header, and the log starts at the highest file record from
// which the records above parse exactly, item by item, up to that header.
// Log texts come from NUL-terminated paths, so a false start inside the log
// would need NUL bytes in a text; a caller who knows the offset (the
// uninstaller entry's fileSize - 8: where the old end header stood) passes
// it and no search is made.
//
// The records are read by the engine's reader (install/uninstall_log_reader.h),
// the one the uninstaller uses; this file turns them into plain values and
// its problems into messages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "install/uninstall_log_reader.h"

namespace setup::tools {

constexpr uint16_t kLogFilesType = 0x1235;
constexpr uint16_t kLogShortcutsType = 0x1236;
constexpr uint16_t kLogRegistrationType = 0x1238;
constexpr uint16_t kLogEndType = 0x7F7F;

struct LoggedFile {
  std::string folder;  // "." or ".\sub" inside the destination folder, else in full
  std::string name;
  uint8_t flags;       // 0x01 shared count raised, 0x02 font added, 0x04 self-registered
  bool operator==(const LoggedFile&) const = default;
};

struct LoggedShortcut {
  std::string folder;
  std::string link;
  bool operator==(const LoggedShortcut&) const = default;
};

struct UninstallLog {
  bool present = true;     // false: an end header stood where the log begins
  uint64_t offset = 0;     // of the file record's header
  std::vector<LoggedFile> files;
  std::optional<std::vector<LoggedShortcut>> shortcuts;  // absent without the record
  std::optional<uint32_t> registrationRoot;
  std::string registrationKey;
  uint64_t endOffset = 0;  // of the end header
};

struct LogReadResult {
  std::optional<UninstallLog> log;
  std::string error;  // why there is none: what is wrong, and at which offset
};

// Reads the log whose file record header starts at `offset`.
LogReadResult ReadUninstallLogAt(std::span<const uint8_t> file, uint64_t offset);

// Reads from `offset` as the uninstaller reads its stream: record by record
// up to the first end header, whatever bytes follow it. An end header right
// at `offset` is an uninstaller to which no log was appended (present false).
// This is the view that counts when a run died while it wrote the log.
LogReadResult ReadUninstallerStream(std::span<const uint8_t> file, uint64_t offset);

// Finds the log from the end of the file, as described above.
LogReadResult FindUninstallLog(std::span<const uint8_t> file);

}  // namespace setup::tools
