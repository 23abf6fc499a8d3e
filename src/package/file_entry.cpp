#include "package/file_entry.h"

#include <cstddef>

namespace setup {

namespace {

uint32_t StringsOffset(const uint8_t* entry) {
  return kEntryFixedSize + (EntryHasVersion(entry) ? kVersionBlockSize : 0) +
         (EntryHasTimes(entry) ? kFileTimesSize : 0);
}

}  // namespace

uint8_t* NextFileEntry(uint8_t* entry) { return entry + EntrySize(entry); }
const uint8_t* NextFileEntry(const uint8_t* entry) { return entry + EntrySize(entry); }

const char* FileEntryString(const uint8_t* entry, int n) {
  const char* s = reinterpret_cast<const char*>(entry + StringsOffset(entry));
  for (; n > 0; --n) {
    while (*s != '\0') ++s;
    ++s;
  }
  return s;
}

const uint8_t* FileEntryTimes(const uint8_t* entry) {
  return entry + kEntryFixedSize + (EntryHasVersion(entry) ? kVersionBlockSize : 0);
}

const uint8_t* FileEntryVersion(const uint8_t* entry) { return entry + kEntryFixedSize; }

void SetFileTimesFromEntry(Platform& platform, FileHandle file, const uint8_t* entry) {
  const uint8_t* times = FileEntryTimes(entry);
  FileTime creation{ReadU32(times), ReadU32(times + 4)};
  FileTime access{ReadU32(times + 8), ReadU32(times + 12)};
  FileTime write{ReadU32(times + 16), ReadU32(times + 20)};
  platform.SetFileTime(file, &creation, &access, &write);
}

uint8_t* FindPatchBase(const PackageState& package, const uint8_t* entry) {
  uint8_t component = EntryBaseComponent(entry);
  if (component >= package.componentCount) return nullptr;
  const Payload& list = package.components[component].fileList;
  if (list.data == nullptr || list.size < 4) return nullptr;
  uint32_t count = ReadU32(list.data);
  uint8_t index = EntryBaseIndex(entry);
  if (index >= count) return nullptr;
  uint8_t* base = list.data + 4;
  for (uint8_t i = 0; i < index; ++i) base = NextFileEntry(base);
  return base;
}

bool ValidateFileList(const uint8_t* payload, uint32_t size) {
  if (payload == nullptr || size < 4) return false;
  uint32_t count = ReadU32(payload);
  const uint8_t* end = payload + size;
  const uint8_t* entry = payload + 4;
  for (uint32_t i = 0; i < count; ++i) {
    if (end - entry < static_cast<std::ptrdiff_t>(kEntryFixedSize)) return false;
    uint32_t entrySize = EntrySize(entry);
    uint32_t strings = StringsOffset(entry);
    if (entrySize < strings + kEntryStrings || entrySize > static_cast<uint32_t>(end - entry)) {
      return false;
    }
    const uint8_t* p = entry + strings;
    const uint8_t* entryEnd = entry + entrySize;
    for (int s = 0; s < kEntryStrings; ++s) {
      int32_t length = BoundedTextLength(p, entryEnd);
      if (length < 0) return false;
      p += length + 1;
    }
    entry = entryEnd;
  }
  return true;
}

}  // namespace setup
