// The real backend on the real API: a small console program that runs the
// path, replacement and process operations through Win32Platform and prints
// one "name=value" line per thing it saw. The platform group of scenarios.py runs it under
// Wine (as Windows NT, then as Windows 98) and compares the lines, the
// registry and the files it left.
//
//   platform_check.exe nt|98 ROOT   run the checks below ROOT (a folder on C:)
//   platform_check.exe /X MS         the "uninstaller": sleeps MS ms, exits 3
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "install/earlier_installations.h"
#include "install/restart_replace.h"
#include "paths/path_folders.h"
#include "paths/path_helpers.h"
#include "paths/path_variables.h"
#include "platform/win32/win32_platform.h"

using namespace setup;

namespace {

void Line(const char* name, const char* value) { std::printf("%s=%s\n", name, value); }

void Expand(Win32Platform& platform, const char* name, const char* text) {
  PathPlaces places{platform, "C:\\Dest", "C:\\Source\\setup.exe"};
  char out[kPathSize];
  ExpandPathVariables(places, out, text, sizeof out);
  Line(name, out);
}

void Registry(Win32Platform& platform) {
  RegKey key = 0;
  const char value[] = "C:\\Registry Check";
  bool ok = platform.RegCreateKeyA(kHkeyCurrentUser, "Software\\SetupCheck", &key) == 0 &&
            platform.RegSetValueExA(key, "Folder", kRegSz, value, sizeof value) == 0;
  if (key != 0) platform.RegCloseKey(key);
  char read[kPathSize] = {};
  uint32_t size = sizeof read - 1;
  if (ok && platform.RegOpenKeyExA(kHkeyCurrentUser, "Software\\SetupCheck", kKeyRead, &key) == 0) {
    ok = platform.RegQueryValueExA(key, "Folder", nullptr, read, &size) == 0;
    platform.RegCloseKey(key);
  }
  Line("registry", ok ? read : "(failed)");
}

void Profile(Win32Platform& platform, const char* root) {
  char file[kPathSize];
  std::snprintf(file, sizeof file, "%s\\check.ini", root);
  int written = platform.WritePrivateProfileStringA("Check", "Key", "Value", file);
  int flushed = platform.WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
  char read[kPathSize];
  platform.GetPrivateProfileStringA("check", "KEY", "(none)", read, sizeof read, file);
  std::printf("ini=%s written=%d flushed=%d\n", read, written, flushed);
}

void Folders(Win32Platform& platform, const char* root) {
  char path[kPathSize];
  std::snprintf(path, sizeof path, "%s\\Made\\One\\Two\\file.txt", root);
  std::printf("folders=%d\n", MakePathFolders(platform, path));
  std::snprintf(path, sizeof path, "%s\\Mixed Case Folder", root);
  platform.CreateDirectoryA(path);
  // The same folder, every letter upper case and its parts by short name
  // where it has one.
  char shortPath[kPathSize];
  if (platform.GetShortPathNameA(path, shortPath, sizeof shortPath) == 0) CopyText(shortPath, sizeof shortPath, path);
  CharUpperA(shortPath);
  CanonicalizePath(platform, shortPath, sizeof shortPath);
  Line("canonical", shortPath);
}

void Replacement(Win32Platform& platform, bool nt, const char* root) {
  char target[kPathSize], source[kPathSize], gone1[kPathSize], gone2[kPathSize];
  std::snprintf(target, sizeof target, "%s\\TARGET.DLL", root);
  std::snprintf(source, sizeof source, "%s\\TARGET.$$A", root);
  std::snprintf(gone1, sizeof gone1, "%s\\GONE1.TMP", root);
  std::snprintf(gone2, sizeof gone2, "%s\\GONE2.TMP", root);
  const char* made[] = {target, source, gone1, gone2};
  for (const char* path : made) {
    FileHandle file = platform.CreateFileA(path, kGenericWrite, 0, kCreateAlways);
    platform.CloseHandle(file);
  }
  std::printf("replace=%d delete1=%d delete2=%d\n",
              ScheduleReplaceAtRestart(platform, nt, target, source),
              ScheduleReplaceAtRestart(platform, nt, nullptr, gone1),
              ScheduleReplaceAtRestart(platform, nt, nullptr, gone2));
}

// The version of the system's kernel32.dll, and a shell link saved to a file.
void VersionAndLink(Win32Platform& platform, const char* root) {
  char path[kPathSize];
  uint32_t n = platform.GetSystemDirectoryA(path, sizeof path);
  AppendText(path, sizeof path, n != 0 ? "\\kernel32.dll" : "");
  uint32_t size = platform.GetFileVersionInfoSizeA(path);
  void* block = size != 0 ? HeapAlloc(GetProcessHeap(), 0, size) : nullptr;
  const void* value = nullptr;
  uint32_t length = 0;
  FixedFileInfo info{};
  if (block != nullptr && platform.GetFileVersionInfoA(path, size, block) &&
      platform.VerQueryValueA(block, "\\", &value, &length) && length >= sizeof info) {
    std::memcpy(&info, value, sizeof info);
  }
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  std::printf("version_signature=%08lx\n", static_cast<unsigned long>(info.signature));
  char link[kPathSize];
  std::snprintf(link, sizeof link, "%s\\Check.lnk", root);
  ShellLinkInfo fields{path, root, "/check", "Check link", path, 0};
  std::printf("link=%ld\n", static_cast<long>(platform.CreateShellLink(fields, link)));
}

uint64_t CpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  uint64_t k = (uint64_t{kernel.dwHighDateTime} << 32) | kernel.dwLowDateTime;
  uint64_t u = (uint64_t{user.dwHighDateTime} << 32) | user.dwLowDateTime;
  return (k + u) / 10000;
}

// Starts this program as the uninstaller and waits for it as the install run does.
void Process(Win32Platform& platform) {
  char self[kPathSize];
  GetModuleFileNameA(nullptr, self, sizeof self);
  ProcessHandle process = 0;
  uint64_t cpu = CpuMs();
  DWORD started = GetTickCount();
  if (!StartProgram(platform, self, "/X 2000", &process)) {
    Line("process", "(not started)");
    return;
  }
  int turns = 0;
  do {
    platform.PeekMessageA(0, 0, 0, kPmNoRemove);
    ++turns;
  } while (IsProcessRunning(platform, process));
  uint32_t code = 0;
  platform.GetExitCodeProcess(process, &code);
  platform.CloseHandle(process);
  std::printf("process=ended exit=%u waited_ms=%lu cpu_ms=%llu turns=%d\n", code,
              static_cast<unsigned long>(GetTickCount() - started),
              static_cast<unsigned long long>(CpuMs() - cpu), turns);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "/X") == 0) {
    // The "uninstaller": its command line as Windows gave it, then a sleep.
    std::printf("child_command=%s\n", GetCommandLineA());
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    return 3;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: platform_check nt|98 ROOT\n");
    return 2;
  }
  CoInitialize(nullptr);
  Win32Platform platform;
  VersionInfo version{};
  platform.GetVersionExA(&version);
  bool nt = version.platformId == kVerPlatformWin32Nt;
  std::printf("family=%s\n", nt ? "nt" : "98");
  Expand(platform, "windows", "#Windows#");
  Expand(platform, "system", "#System#");
  Expand(platform, "programfiles", "#Program Files#");
  Registry(platform);
  Profile(platform, argv[2]);
  Folders(platform, argv[2]);
  Replacement(platform, nt, argv[2]);
  VersionAndLink(platform, argv[2]);
  Process(platform);
  CoUninitialize();
  return 0;
}
