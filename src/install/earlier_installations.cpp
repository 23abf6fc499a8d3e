#include "install/earlier_installations.h"

#include "package/file_entry.h"
#include "base/file_io.h"
#include "base/memory.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

constexpr const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr uint32_t kKeyTextSize = 360;
constexpr uint32_t kCommandSize = 520;

bool HasUninstaller(const ComponentSlot& slot) {
  const Payload& list = slot.fileList;
  if (list.data == nullptr || list.size < 4 + kEntryFixedSize || ReadU32(list.data) == 0) {
    return false;
  }
  return (EntryFlags(list.data + 4) & FEF_UNINSTALLER) != 0;
}

// Reads the uninstaller's path into `text` (360 bytes); false when there is none.
bool ReadUninstallString(Platform& platform, const char* displayName, char* text) {
  text[0] = '\0';
  if (!AppendText(text, kKeyTextSize, kUninstallKey) ||
      !AppendText(text, kKeyTextSize, displayName)) {
    return false;  // a name too long for the key text
  }
  RegKey key = 0;
  if (platform.RegOpenKeyA(kHkeyLocalMachine, text, &key) != 0) return false;
  for (uint32_t i = 0; i < kKeyTextSize; ++i) text[i] = '\0';
  uint32_t size = kKeyTextSize - 1;
  long result = platform.RegQueryValueExA(key, "UninstallString", nullptr, text, &size);
  platform.RegCloseKey(key);
  return result == 0 && text[0] != '\0';
}

void RunUninstaller(Platform& platform, const char* path) {
  FileHandle file = OpenForRead(platform, path);
  if (file == kInvalidFile) return;
  CloseFile(platform, &file);
  ProcessHandle process = 0;
  if (!StartProgram(platform, path, "/X", &process)) return;
  // Messages stay queued (PM_NOREMOVE) while the uninstaller runs; each turn
  // sleeps in the wait instead of spinning.
  do {
    platform.PeekMessageA(0, 0, 0, kPmNoRemove);
  } while (IsProcessRunning(platform, process));
  platform.CloseHandle(process);
}

}  // namespace

void RemovePreviousInstallations(Platform& platform, const PackageState& package,
                                 int currentIndex) {
  if ((package.settings & SETUP_REMOVE_PREVIOUS) == 0) return;
  char* text = nullptr;
  if (!AllocZeroedBlock(platform, kKeyTextSize, &text)) return;
  for (int k = 0; k < package.componentCount; ++k) {
    const ComponentSlot& slot = package.components[k];
    if (k == currentIndex || !slot.hasDescriptor || !HasUninstaller(slot)) continue;
    const char* name = slot.descriptor.displayName;
    if (name == nullptr || name[0] == '\0') continue;
    if (ReadUninstallString(platform, name, text)) RunUninstaller(platform, text);
  }
  FreeBlock(platform, &text);
}

int StartProgram(Platform& platform, const char* program, const char* arguments,
                 ProcessHandle* process) {
  char* command = nullptr;
  if (!AllocBlock(platform, kCommandSize, &command)) return 0;
  *process = 0;
  CopyText(command, kCommandSize, "\"");
  bool fits = AppendText(command, kCommandSize, program) &&
              AppendText(command, kCommandSize, "\" ") &&
              AppendText(command, kCommandSize, arguments);
  ProcessInfo info = {};
  int started = fits && platform.CreateProcessA(command, &info);
  FreeBlock(platform, &command);
  if (!started) return 0;
  platform.CloseHandle(info.thread);
  *process = info.process;
  return 1;
}

int IsProcessRunning(Platform& platform, ProcessHandle process) {
  return platform.WaitForSingleObject(process, kProcessWaitMs) == kWaitTimeout ? 1 : 0;
}

}  // namespace setup
