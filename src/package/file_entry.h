// File entries: the unit of installation. A component's file list is u32
// count, then `count` entries back to back, each `entrySize` bytes:
//
//   0 u16 entrySize    2 u16 state     4 u16 iconIndex   6 u32 dataOffset
//  10 u32 storedSize  14 u32 fileSize  18 u32 checksum   22 u8 flags
//  23 u8 folderKind   24 u8 finishRole 25 u8 sharedFile  26 u8 placement
//  27 u8 specialKind  28 u8 baseComponent 29 u8 baseIndex
//  30 version block (20 bytes) when flags has FEF_CHECK_VERSION or FEF_CHECK_LANGUAGE
//     file times (24 bytes: creation, last access, last write) when FEF_FILE_TIMES
//     six NUL-terminated strings: name, shortcutFolder, shortcutName,
//     shortcutArgs, desktopName, desktopArgs
//
// The engine works on the loaded list in place; only `state` is written.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "package/entry_kinds.h"
#include "package/package_state.h"
#include "platform/platform.h"

namespace setup {

constexpr uint32_t kEntryFixedSize = 30;
constexpr uint32_t kVersionBlockSize = 20;
constexpr uint32_t kFileTimesSize = 24;

// flags
constexpr uint8_t FEF_UNINSTALLER = 0x01;
constexpr uint8_t FEF_CHECK_VERSION = 0x02;
constexpr uint8_t FEF_CHECK_LANGUAGE = 0x04;
constexpr uint8_t FEF_FILE_TIMES = 0x08;
constexpr uint8_t FEF_PATCH = 0x10;

// finishRole
constexpr uint8_t ROLE_NONE = 0;
constexpr uint8_t ROLE_DOCUMENT = 1;
constexpr uint8_t ROLE_PROGRAM = 2;

// specialKind
constexpr uint8_t SPECIAL_NONE = 0;
constexpr uint8_t SPECIAL_SCREEN_SAVER = 1;
constexpr uint8_t SPECIAL_SELF_REGISTER = 2;

// state
constexpr uint16_t STATE_IDLE = 0;
constexpr uint16_t STATE_DONE = 23;
constexpr uint16_t STATE_NEW = 25;
constexpr uint16_t STATE_REPLACING = 27;

// Indices of the entry's strings.
constexpr int ENTRY_NAME = 0;
constexpr int ENTRY_SHORTCUT_FOLDER = 1;
constexpr int ENTRY_SHORTCUT_NAME = 2;
constexpr int ENTRY_SHORTCUT_ARGS = 3;
constexpr int ENTRY_DESKTOP_NAME = 4;
constexpr int ENTRY_DESKTOP_ARGS = 5;
constexpr int kEntryStrings = 6;

inline uint16_t EntrySize(const uint8_t* e) { return ReadU16(e); }
inline uint16_t EntryState(const uint8_t* e) { return ReadU16(e + 2); }
inline void SetEntryState(uint8_t* e, uint16_t state) { WriteU16(e + 2, state); }
inline uint16_t EntryIconIndex(const uint8_t* e) { return ReadU16(e + 4); }
inline uint32_t EntryDataOffset(const uint8_t* e) { return ReadU32(e + 6); }
inline uint32_t EntryStoredSize(const uint8_t* e) { return ReadU32(e + 10); }
inline uint32_t EntryFileSize(const uint8_t* e) { return ReadU32(e + 14); }
inline uint32_t EntryChecksum(const uint8_t* e) { return ReadU32(e + 18); }
inline uint8_t EntryFlags(const uint8_t* e) { return e[22]; }
inline uint8_t EntryFolderKind(const uint8_t* e) { return e[23]; }
inline uint8_t EntryFinishRole(const uint8_t* e) { return e[24]; }
inline uint8_t EntrySharedFile(const uint8_t* e) { return e[25]; }
inline uint8_t EntryPlacement(const uint8_t* e) { return e[26]; }
inline void SetEntryPlacement(uint8_t* e, uint8_t placement) { e[26] = placement; }
inline uint8_t EntrySpecialKind(const uint8_t* e) { return e[27]; }
inline uint8_t EntryBaseComponent(const uint8_t* e) { return e[28]; }
inline uint8_t EntryBaseIndex(const uint8_t* e) { return e[29]; }

inline bool EntryHasVersion(const uint8_t* e) {
  return (EntryFlags(e) & (FEF_CHECK_VERSION | FEF_CHECK_LANGUAGE)) != 0;
}
inline bool EntryHasTimes(const uint8_t* e) { return (EntryFlags(e) & FEF_FILE_TIMES) != 0; }

// The entry that starts entrySize bytes further on.
uint8_t* NextFileEntry(uint8_t* entry);
const uint8_t* NextFileEntry(const uint8_t* entry);
// String n (0-5) of the entry.
const char* FileEntryString(const uint8_t* entry, int n);
// The 24-byte file-times block and the 20-byte version block.
const uint8_t* FileEntryTimes(const uint8_t* entry);
const uint8_t* FileEntryVersion(const uint8_t* entry);
// Gives an open file the entry's creation, last-access and last-write times.
void SetFileTimesFromEntry(Platform& platform, FileHandle file, const uint8_t* entry);

// The base entry of a patch entry: entry baseIndex of component baseComponent;
// null when that component or entry does not exist.
uint8_t* FindPatchBase(const PackageState& package, const uint8_t* entry);

// Checks a file list payload: the count, every entry within the payload with
// room for its fixed part, blocks and six strings. Loaded lists are checked
// once, so walking them later needs no checks.
bool ValidateFileList(const uint8_t* payload, uint32_t size);

}  // namespace setup
