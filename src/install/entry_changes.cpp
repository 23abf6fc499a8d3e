#include "install/entry_changes.h"

#include "base/file_io.h"
#include "base/memory.h"
#include "base/run_log.h"
#include "base/text_format.h"
#include "install/install_report.h"
#include "package/entry_lists.h"
#include "package/file_entry.h"
#include "paths/target_path.h"
#include "session/setup_context.h"

namespace setup {

namespace {

// A registry value read with a 20-byte buffer, and an INI value with a
// 20-character one: enough to tell an empty value from one with data.
constexpr uint32_t kProbeSize = 20;

// The expansion of `text` in a block of its own, or null when it is empty (or
// memory ran out). The measure counts past the scratch text's limit; what is
// kept stops there.
char* ExpandedCopy(const PathPlaces& places, const char* text) {
  uint32_t length = ExpandPathVariables(places, nullptr, text, 0);
  if (length == 0) return nullptr;
  if (length > kExpansionScratchSize - 1) length = kExpansionScratchSize - 1;
  char* copy = nullptr;
  if (!AllocZeroedBlock(places.platform, length + 1, &copy)) return nullptr;
  ExpandPathVariables(places, copy, text, length + 1);
  if (copy[0] == '\0') FreeBlock(places.platform, &copy);
  return copy;
}


// Whether the value holds data: a first byte that is not 0, or more data
// than the probe holds (which cannot be read into it, so the first byte
// says nothing).
bool RegistryValueHasData(Platform& platform, RegKey root, const RegistryEntry& entry) {
  RegKey key = 0;
  if (platform.RegOpenKeyExA(root, entry.key, kKeyRead, &key) != 0) return false;
  uint8_t probe[kProbeSize];
  probe[0] = 0;
  uint32_t size = kProbeSize;
  long result = platform.RegQueryValueExA(key, entry.valueName, nullptr, probe, &size);
  platform.RegCloseKey(key);
  if (result == static_cast<long>(kErrorMoreData)) return true;
  return result == 0 && probe[0] != 0;
}

void ApplyIniEntry(const PathPlaces& places, const IniEntry& entry, const char* file,
                   RunLog* log) {
  Platform& platform = places.platform;
  if (entry.flags & INI_ONLY_IF_MISSING) {
    char probe[kProbeSize];
    if (platform.GetPrivateProfileStringA(entry.section, entry.key, "", probe, kProbeSize,
                                          file) != 0) {
      return;
    }
  }
  char* value = ExpandedCopy(places, entry.value);
  if (value == nullptr) return;
  if (platform.WritePrivateProfileStringA(entry.section, entry.key, value, file)) {
    ReportIniValue(log, file, entry.section, entry.key, value);
  }
  platform.WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
  FreeBlock(platform, &value);
}

void ApplyRegistryEntry(const PathPlaces& places, const RegistryEntry& entry, RunLog* log) {
  Platform& platform = places.platform;
  RegKey root = RegistryRoot(entry.root);
  if ((entry.flags & REG_KEEP_EXISTING) && RegistryValueHasData(platform, root, entry)) return;
  char* data = ExpandedCopy(places, entry.data);
  if (data == nullptr) return;
  RegKey key = 0;
  if (platform.RegCreateKeyA(root, entry.key, &key) == 0) {
    // The length without the NUL, as the registry has always been given it.
    if (platform.RegSetValueExA(key, entry.valueName, kRegSz, data, TextLength(data)) == 0) {
      ReportRegistryValue(log, root, entry.key, entry.valueName, data);
    }
    platform.RegCloseKey(key);
  }
  FreeBlock(platform, &data);
}

// Where the patch goes: the entry's offset, or the end of the pattern's first
// occurrence; -1 (or any negative offset) when it goes nowhere.
int64_t PatchPosition(Platform& platform, FileHandle file, const FilePatchEntry& entry) {
  if (entry.offset != -1) return entry.offset;
  if (entry.patternLength == 0) return -1;
  return FindPatternEnd(platform, file, entry.pattern, entry.patternLength);
}

void ApplyFilePatch(const PathPlaces& places, const FilePatchEntry& entry, const char* path,
                    RunLog* log) {
  Platform& platform = places.platform;
  char* text = ExpandedCopy(places, entry.text);
  if (text == nullptr) return;
  FileHandle file = OpenForReadWrite(platform, path);
  if (file != kInvalidFile) {
    int64_t position = PatchPosition(platform, file, entry);
    // A position below 0 would be taken from the start of the file; one past
    // what a seek from the start reaches cannot be written at.
    if (position >= 0 && position <= INT32_MAX &&
        SeekFile(platform, file, static_cast<int32_t>(position), kFileBegin) ==
            static_cast<uint32_t>(position)) {
      if (WriteBytes(platform, file, text, TextLength(text)) == WRITE_OK && log != nullptr) {
        char detail[32];
        FormatText(detail, sizeof detail, "at byte %u", "", static_cast<int32_t>(position));
        log->Line("patch", path, detail);
      }
    }
    CloseFile(platform, &file);
  }
  FreeBlock(platform, &text);
}

bool NameMatches(const uint8_t* entry, const char* text) {
  return TextEqualNoCase(FileEntryString(entry, ENTRY_NAME), text);
}

bool MatchAt(const uint8_t* window, const uint8_t* pattern, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i) {
    if (window[i] != pattern[i]) return false;
  }
  return true;
}

}  // namespace

RegKey RegistryRoot(uint32_t index) {
  switch (index) {
    case 0: return kHkeyClassesRoot;
    case 2: return kHkeyLocalMachine;
    case 3: return kHkeyUsers;
    default: return kHkeyCurrentUser;
  }
}

bool ResolveEntryFile(const PathPlaces& places, const EntryFiles& files, const char* text,
                      char* path, uint32_t size) {
  const uint8_t* entry = files.firstEntry;
  for (uint32_t i = 0; i < files.count && entry != nullptr; ++i, entry = NextFileEntry(entry)) {
    if (!NameMatches(entry, text)) continue;
    TargetResult result = ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                                            FileEntryString(entry, ENTRY_NAME), path, size);
    return result != TargetResult::kTooLong && path[0] != '\0';
  }
  uint32_t limit = size < kPathSize ? size : kPathSize;
  uint32_t length = ExpandPathVariables(places, nullptr, text, 0);
  if (length == 0 || length >= limit) return false;
  ExpandPathVariables(places, path, text, limit);
  return true;
}

void ApplyIniEntries(const PathPlaces& places, const EntryFiles& files, const Payload& list,
                     RunLog* log) {
  char path[kTargetPathSize];
  ListCursor cursor(list.data, list.size);
  IniEntry entry;
  while (cursor.Next(&entry)) {
    if (ResolveEntryFile(places, files, entry.file, path, sizeof path)) {
      ApplyIniEntry(places, entry, path, log);
    }
  }
}

void ApplyRegistryEntries(const PathPlaces& places, const Payload& list, RunLog* log) {
  ListCursor cursor(list.data, list.size);
  RegistryEntry entry;
  while (cursor.Next(&entry)) ApplyRegistryEntry(places, entry, log);
}

void ApplyFilePatches(const PathPlaces& places, const EntryFiles& files, const Payload& list,
                      RunLog* log) {
  char path[kTargetPathSize];
  ListCursor cursor(list.data, list.size);
  FilePatchEntry entry;
  while (cursor.Next(&entry)) {
    if (ResolveEntryFile(places, files, entry.file, path, sizeof path)) {
      ApplyFilePatch(places, entry, path, log);
    }
  }
}

// The window holds `held` bytes from file position `base`. While more of the
// file follows, the positions tried are those of its first half, and then its
// second half moves to the front and the rest of the file refills the second
// half; a pattern of up to half + 1 bytes starting in the first half lies
// whole in the window. In the last window every position that leaves room for
// the pattern is tried.
int64_t FindPatternEnd(Platform& platform, FileHandle file, const uint8_t* pattern,
                       uint32_t length) {
  uint32_t size = FileSize(platform, file);
  if (length == 0 || size == kInvalidSetFilePointer || size < length) return -1;
  uint32_t half = length - 1 > kPatternWindowStep ? length - 1 : kPatternWindowStep;
  if (half > UINT32_MAX / 2) return -1;
  uint32_t window = 2 * half;
  uint8_t* buffer = nullptr;
  if (!AllocBlock(platform, window, &buffer)) return -1;
  int64_t found = -1;
  uint32_t held = size < window ? size : window;
  uint32_t rest = size - held;
  uint64_t base = 0;
  if (SeekFile(platform, file, 0, kFileBegin) == 0 && ReadExact(platform, file, buffer, held)) {
    for (;;) {
      uint32_t positions = rest != 0 ? half : held - (length - 1);
      for (uint32_t p = 0; p < positions; ++p) {
        if (MatchAt(buffer + p, pattern, length)) {
          found = static_cast<int64_t>(base + p + length);
          break;
        }
      }
      if (found >= 0 || rest == 0) break;
      for (uint32_t i = 0; i < half; ++i) buffer[i] = buffer[half + i];
      base += half;
      uint32_t k = rest < half ? rest : half;
      if (!ReadExact(platform, file, buffer + half, k)) break;
      rest -= k;
      held = half + k;
    }
  }
  FreeBlock(platform, &buffer);
  return found;
}

}  // namespace setup
