#include "paths/path_variables.h"

#include "base/memory.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

constexpr const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// Writes into the scratch while it has room and counts on regardless.
struct Scratch {
  char* text;
  uint32_t length;

  void Put(const char* from, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i, ++length) {
      if (length + 1 < kExpansionScratchSize) text[length] = from[i];
    }
  }
};

bool TokenIs(const char* token, uint32_t n, const char* name) {
  uint32_t i = 0;
  for (; i < n && name[i] != '\0'; ++i) {
    char a = token[i] >= 'a' && token[i] <= 'z' ? static_cast<char>(token[i] - 32) : token[i];
    char b = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 32) : name[i];
    if (a != b) return false;
  }
  return i == n && name[i] == '\0';
}

// ProgramFilesDir, whatever its type; false when it cannot be read. The read
// passes one byte less than the zero-filled buffer, so that a value that fills
// it stays terminated.
bool ReadProgramFiles(Platform& platform, char* out) {
  RegKey key = 0;
  if (platform.RegOpenKeyExA(kHkeyLocalMachine, kCurrentVersionKey, kKeyRead, &key) != 0) {
    return false;
  }
  uint32_t size = kPathSize - 1;
  long result = platform.RegQueryValueExA(key, "ProgramFilesDir", nullptr, out, &size);
  platform.RegCloseKey(key);
  return result == 0;
}

// A folder query into a 260-byte text: empty when it failed or did not fit.
void FolderValue(uint32_t length, char* out) {
  if (length == 0 || length >= kPathSize) out[0] = '\0';
}

// The value of one token (from "#" to "#" inclusive) into `value`.
void TokenValue(const PathPlaces& places, const char* token, uint32_t n, char* value) {
  Platform& platform = places.platform;
  value[0] = '\0';
  if (TokenIs(token, n, "#Windows#")) {
    FolderValue(platform.GetWindowsDirectoryA(value, kPathSize), value);
  } else if (TokenIs(token, n, "#System#")) {
    FolderValue(platform.GetSystemDirectoryA(value, kPathSize), value);
  } else if (TokenIs(token, n, "#Program Files#")) {
    for (uint32_t i = 0; i < kPathSize; ++i) value[i] = '\0';
    if (!ReadProgramFiles(platform, value)) CopyText(value, kPathSize, "#Program Files#");
  } else if (TokenIs(token, n, "#InstallDir#")) {
    CopyText(value, kPathSize, places.destinationFolder);
  } else if (TokenIs(token, n, "#SourceDir#")) {
    CopyText(value, kPathSize, places.packagePath);
    uint32_t cut = TextLength(value);
    while (cut > 0 && value[cut - 1] != '\\') --cut;
    if (cut > 0) value[cut - 1] = '\0';
  } else if (TokenIs(token, n, "#Date#")) {
    SystemTime now;
    platform.GetSystemTime(&now);
    uint32_t date = now.year * 10000u + now.month * 100u + now.day;
    for (int i = 7; i >= 0; --i, date /= 10) value[i] = static_cast<char>('0' + date % 10);
    value[8] = '\0';
  }
}

}  // namespace

uint32_t ExpandPathVariables(const PathPlaces& places, char* dest, const char* source,
                             uint32_t size) {
  Platform& platform = places.platform;
  Scratch out{nullptr, 0};
  if (!AllocZeroedBlock(platform, kExpansionScratchSize, &out.text)) {
    if (dest != nullptr && size != 0 && dest != source) {
      // As strncpy does, but never without its NUL.
      uint32_t i = 0;
      for (; i < size && source[i] != '\0'; ++i) dest[i] = source[i];
      for (; i < size; ++i) dest[i] = '\0';
      dest[size - 1] = '\0';
    } else if (dest != nullptr && size != 0) {
      dest[size - 1] = '\0';
    }
    return TextLength(source);
  }
  char value[kPathSize];
  const char* s = source;
  for (;;) {
    const char* first = s;
    while (*first != '\0' && *first != '#') ++first;
    if (*first == '\0') break;
    out.Put(s, static_cast<uint32_t>(first - s));
    const char* second = first + 1;
    while (*second != '\0' && *second != '#') ++second;
    if (*second == '\0') {
      s = first;  // a lone "#": the rest is copied as it is
      break;
    }
    s = second + 1;
    TokenValue(places, first, static_cast<uint32_t>(s - first), value);
    StripBackslash(value);
    out.Put(value, TextLength(value));
  }
  out.Put(s, TextLength(s));
  uint32_t length = out.length;
  if (dest != nullptr && length != 0 && size != 0) {
    uint32_t kept = length < kExpansionScratchSize - 1 ? length : kExpansionScratchSize - 1;
    uint32_t n = kept < size - 1 ? kept : size - 1;
    for (uint32_t i = 0; i < n; ++i) dest[i] = out.text[i];
    dest[n] = '\0';
  }
  FreeBlock(platform, &out.text);
  return length;
}

}  // namespace setup
