#include "install/document_entry.h"

#include "base/file_io.h"
#include "package/file_entry.h"
#include "paths/target_path.h"

namespace setup {

namespace {

constexpr const char kOpenCommandKey[] = "\\shell\\open\\command";

// The largest command line: the registered command, a blank, the path and
// its quotes.
constexpr uint32_t kCommandLineSize = kPathSize + 3 + kTargetPathSize;

// Where `needle` first occurs in `text`, or null.
char* FindText(char* text, const char* needle) {
  for (; *text != '\0'; ++text) {
    uint32_t i = 0;
    while (needle[i] != '\0' && text[i] == needle[i]) ++i;
    if (needle[i] == '\0') return text;
  }
  return nullptr;
}

bool HoldsBlank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == ' ') return true;
  }
  return false;
}

}  // namespace

long ReadClassesRootDefault(Platform& platform, const char* keyPath, char* out) {
  out[0] = '\0';
  RegKey key = 0;
  long result = platform.RegOpenKeyExA(kHkeyClassesRoot, keyPath, kKeyQueryValue, &key);
  if (result != 0) return result;
  uint32_t size = kPathSize;
  result = platform.RegQueryValueExA(key, nullptr, nullptr, out, &size);
  platform.RegCloseKey(key);
  if (result != 0) {
    out[0] = '\0';
    return result;
  }
  // A value stored without its NUL still has to end inside the buffer.
  if (size > 0 && out[size - 1] == '\0') return 0;
  if (size >= kPathSize) {
    out[0] = '\0';
    return static_cast<long>(kErrorMoreData);
  }
  out[size] = '\0';
  return 0;
}

uintptr_t OpenWithAssociation(Platform& platform, const char* path, const char* extension) {
  uintptr_t shell = platform.ShellExecuteA(0, path, nullptr, kSwShow);
  if (shell > 32) return shell;

  char key[kPathSize];
  long result = ReadClassesRootDefault(platform, extension, key);
  if (result != 0) return static_cast<uintptr_t>(result);
  if (!AppendText(key, kPathSize, kOpenCommandKey)) return static_cast<uintptr_t>(kErrorMoreData);
  char command[kCommandLineSize];
  result = ReadClassesRootDefault(platform, key, command);
  if (result != 0) return static_cast<uintptr_t>(result);

  char* cut = FindText(command, "\"%1\"");
  bool quote = cut != nullptr;
  if (cut == nullptr) cut = FindText(command, "%1");
  if (cut != nullptr) *cut = '\0';
  quote = quote || HoldsBlank(path);
  bool fits = AppendText(command, kCommandLineSize, quote ? " \"" : " ") &&
              AppendText(command, kCommandLineSize, path) &&
              (!quote || AppendText(command, kCommandLineSize, "\""));
  if (!fits) return 0;
  return platform.WinExec(command, kSwShow);
}

void OpenDocumentEntry(SetupContext& context) {
  const uint8_t* entry = context.run.documentEntry;
  if (entry == nullptr) return;
  PathPlaces places{context.platform, context.current.destinationFolder, context.packagePath};
  char path[kTargetPathSize];
  // A path cut to fit would name some other file.
  if (ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                        FileEntryString(entry, ENTRY_NAME), path,
                        kTargetPathSize) == TargetResult::kTooLong) {
    return;
  }
  FileHandle file = OpenForRead(context.platform, path);
  if (file == kInvalidFile) return;
  CloseFile(context.platform, &file);

  // The extension runs from the last "." anywhere in the path, a folder's
  // included; without one the association of "." is asked for.
  const char* extension = ".";
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '.') extension = p;
  }
  OpenWithAssociation(context.platform, path, extension);
}

}  // namespace setup
