// The component's further lists: INI entries, registry entries and file
// patches. Each list is a u16 entry count followed by the entries back to
// back; strings are NUL-terminated.
//
//   INI entry:      u8 iniFlags, iniFile, iniSection, iniKey, iniValue
//   registry entry: u32 regRoot, u8 regFlags, regKey, regValueName, regData
//   file patch:     i32 patchOffset, u32 patternLength, u32 reserved, u8 reserved,
//                   patchFile, patchText, then patternLength pattern bytes
//
// A cursor walks a list and checks every read against its end, so a damaged
// list ends the walk instead of being read past.
#pragma once

#include <cstdint>

namespace setup {

constexpr uint8_t INI_ONLY_IF_MISSING = 0x01;
constexpr uint8_t REG_KEEP_EXISTING = 0x01;

struct IniEntry {
  uint8_t flags;
  const char* file;
  const char* section;
  const char* key;
  const char* value;
};

struct RegistryEntry {
  uint32_t root;
  uint8_t flags;
  const char* key;
  const char* valueName;
  const char* data;
};

struct FilePatchEntry {
  int32_t offset;
  uint32_t patternLength;
  const char* file;
  const char* text;
  const uint8_t* pattern;
};

class ListCursor {
 public:
  // A null payload is an empty list; one too short for its count is damaged.
  ListCursor(const uint8_t* payload, uint32_t size);
  uint16_t count() const { return count_; }
  // Each reads the next entry; false when the list is done or damaged
  // (damaged() tells which).
  bool Next(IniEntry* entry);
  bool Next(RegistryEntry* entry);
  bool Next(FilePatchEntry* entry);
  bool damaged() const { return damaged_; }

 private:
  bool Begin();
  bool Byte(uint8_t* value);
  bool Word(uint32_t* value);
  bool Text(const char** text);
  bool Fail();

  const uint8_t* pos_;
  const uint8_t* end_;
  uint16_t count_ = 0;
  uint16_t read_ = 0;
  bool damaged_ = false;
};

// Walks a whole list of the given kind; false when it is damaged.
bool ValidateIniList(const uint8_t* payload, uint32_t size);
bool ValidateRegistryList(const uint8_t* payload, uint32_t size);
bool ValidateFilePatchList(const uint8_t* payload, uint32_t size);

}  // namespace setup
