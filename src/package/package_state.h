// The package as it sits behind the stub, and what the loader keeps of it.
//
// Setup file layout: the stub (S bytes, S recorded in the stub's patch block),
// then the record stream, each record an 8-byte header (u16 type, u16 flags,
// u32 length) and its payload, closed by the end record, whose header is
// followed by u32 D and D bytes, the first part of the file-data region. The
// next header always starts `length` bytes after the end of the one before,
// whatever the reader took of the payload.
//
// A compressed payload (flag bit 0) holds a u32 decoded size and one
// compressed stream. Settings, start and end records are read raw whatever
// their flags say.
#pragma once

#include <cstdint>

#include "base/text.h"

namespace setup {

// Record types.
constexpr uint16_t REC_SETTINGS = 0x1234;
constexpr uint16_t REC_WIZARD_BITMAP = 0x1235;
constexpr uint16_t REC_BACKGROUND_BITMAP = 0x1236;
constexpr uint16_t REC_TITLE = 0x1237;
constexpr uint16_t REC_DIALOGS = 0x1239;
constexpr uint16_t REC_FILE_LIST = 0x123A;
constexpr uint16_t REC_START = 0x123B;
constexpr uint16_t REC_TITLE_FONT = 0x123D;
constexpr uint16_t REC_COMPONENT = 0x123E;
constexpr uint16_t REC_UNINSTALLER = 0x123F;
constexpr uint16_t REC_INI_ENTRIES = 0x1240;
constexpr uint16_t REC_REGISTRY_ENTRIES = 0x1241;
constexpr uint16_t REC_FILE_PATCHES = 0x1242;
constexpr uint16_t REC_END = 0x7F7F;

constexpr uint16_t REC_COMPRESSED = 0x0001;
constexpr uint32_t kRecordHeaderSize = 8;

// Settings flags.
constexpr uint32_t SETUP_FULL_SCREEN = 0x01;
constexpr uint32_t SETUP_REMOVE_PREVIOUS = 0x10;

// Component options.
constexpr uint16_t COMP_FOLDER_EDITABLE = 0x0002;
constexpr uint16_t COMP_FOLDER_TO_REGISTRY = 0x0004;
constexpr uint16_t COMP_FOLDER_TO_INI = 0x0008;

constexpr int kMaxComponents = 6;
constexpr int kStringGroups = 11;
constexpr uint16_t kNoStartPage = 0xFFFF;
constexpr uint32_t kLogFontSize = 60;

// Component descriptor layout: fixed fields, then a text area that the u32
// offsets (counted from the descriptor's first byte, 0 = absent) point into.
constexpr uint32_t kDescOptions = 0;
constexpr uint32_t kDescDisplayName = 4;
constexpr uint32_t kDescChoiceLabel = 8;
constexpr uint32_t kDescDefaultFolder = 12;
constexpr uint32_t kDescFolderRootKey = 16;
constexpr uint32_t kDescFolderRegKey = 20;
constexpr uint32_t kDescFolderRegValue = 24;
constexpr uint32_t kDescFolderIniFile = 28;
constexpr uint32_t kDescFolderIniSection = 32;
constexpr uint32_t kDescFolderIniKey = 36;
constexpr uint32_t kDescStringGroups = 40;
constexpr uint32_t kDescriptorFixedSize = 84;

// One string group: u16 n, then n NUL-terminated texts. `data` is null when
// the group is absent; `size` counts the bytes from `data` to the end of the
// descriptor.
struct StringGroup {
  const uint8_t* data;
  uint32_t size;
};

// A component descriptor with its offsets turned into pointers, each checked
// to lie inside the descriptor with its text's NUL.
struct ComponentDescriptor {
  uint16_t options;
  const char* displayName;
  const char* choiceLabel;
  const char* defaultFolder;
  uint32_t folderRootKey;
  const char* folderRegKey;
  const char* folderRegValue;
  const char* folderIniFile;
  const char* folderIniSection;
  const char* folderIniKey;
  StringGroup groups[kStringGroups];
};

// A loaded payload and its size; null when the package has none.
struct Payload {
  uint8_t* data;
  uint32_t size;
};

struct ComponentSlot {
  Payload descriptorBlock;
  bool hasDescriptor;
  ComponentDescriptor descriptor;  // points into descriptorBlock
  Payload fileList;                // u32 count, then the entries
  Payload iniEntries;
  Payload registryEntries;
  Payload filePatches;
  char* savedFolder;               // 260 bytes: the folder while another component is current
};

struct PackageState {
  uint32_t settings;
  Payload wizardBitmap;
  Payload backgroundBitmap;
  Payload title;
  Payload titleFont;
  Payload dialogs;
  Payload uninstaller;
  uint16_t startPage;
  uint16_t startComponent;
  ComponentSlot components[kMaxComponents];
  int componentCount;
  uint32_t regionStart;   // file offset of the u32 D
  uint32_t regionLength;  // D
};

// The component whose texts, file list and destination folder are in use.
struct CurrentComponent {
  int index;
  const ComponentDescriptor* descriptor;  // null until a component is selected
  uint32_t fileCount;
  uint8_t* firstEntry;                    // null when the component has no files
  char destinationFolder[kPathSize];
};

}  // namespace setup
