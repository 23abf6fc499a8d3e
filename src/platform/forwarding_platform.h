// A platform that passes every call on to another one. Wrappers derive from
// it and override the calls they want to watch or change: the unattended
// install's answering of message boxes, and the tests' fault injection.
#pragma once

#include "platform/platform.h"

namespace setup {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override {
    return inner_.CreateFileA(path, access, share, disposition);
  }
  int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) override {
    return inner_.ReadFile(file, buffer, count, done);
  }
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override {
    return inner_.WriteFile(file, buffer, count, done);
  }
  uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) override {
    return inner_.SetFilePointer(file, distance, origin);
  }
  int SetEndOfFile(FileHandle file) override { return inner_.SetEndOfFile(file); }
  int CloseHandle(FileHandle file) override { return inner_.CloseHandle(file); }
  int DeleteFileA(const char* path) override { return inner_.DeleteFileA(path); }
  int RemoveDirectoryA(const char* path) override { return inner_.RemoveDirectoryA(path); }
  int MoveFileA(const char* from, const char* to) override { return inner_.MoveFileA(from, to); }
  uint32_t GetFileAttributesA(const char* path) override { return inner_.GetFileAttributesA(path); }
  int SetFileAttributesA(const char* path, uint32_t attributes) override {
    return inner_.SetFileAttributesA(path, attributes);
  }
  int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) override {
    return inner_.SetFileTime(file, creation, lastAccess, lastWrite);
  }
  uint32_t GetLastError() override { return inner_.GetLastError(); }
  void* HeapAlloc(uint32_t size, bool zeroed) override { return inner_.HeapAlloc(size, zeroed); }
  void HeapFree(void* block) override { inner_.HeapFree(block); }
  void HeapCompact() override { inner_.HeapCompact(); }
  int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                  uint32_t type) override {
    return inner_.MessageBoxA(owner, text, caption, type);
  }

  // The rest of the machine.
  long RegOpenKeyA(RegKey root, const char* subKey, RegKey* out) override {
    return inner_.RegOpenKeyA(root, subKey, out);
  }
  long RegOpenKeyExA(RegKey root, const char* subKey, uint32_t access, RegKey* out) override {
    return inner_.RegOpenKeyExA(root, subKey, access, out);
  }
  long RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) override {
    return inner_.RegCreateKeyA(root, subKey, out);
  }
  long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) override {
    return inner_.RegQueryValueExA(key, name, type, data, size);
  }
  long RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) override {
    return inner_.RegSetValueExA(key, name, type, data, size);
  }
  long RegCloseKey(RegKey key) override {
    return inner_.RegCloseKey(key);
  }
  long RegDeleteValueA(RegKey key, const char* name) override {
    return inner_.RegDeleteValueA(key, name);
  }
  long RegDeleteKeyA(RegKey root, const char* subKey) override {
    return inner_.RegDeleteKeyA(root, subKey);
  }
  long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                     void* data, uint32_t* dataSize) override {
    return inner_.RegEnumValueA(key, index, name, nameSize, type, data, dataSize);
  }
  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* out, uint32_t size, const char* file) override {
    return inner_.GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
  }
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file) override {
    return inner_.WritePrivateProfileStringA(section, key, value, file);
  }
  uint32_t GetWindowsDirectoryA(char* out, uint32_t size) override {
    return inner_.GetWindowsDirectoryA(out, size);
  }
  uint32_t GetSystemDirectoryA(char* out, uint32_t size) override {
    return inner_.GetSystemDirectoryA(out, size);
  }
  uint32_t GetTempPathA(uint32_t size, char* out) override {
    return inner_.GetTempPathA(size, out);
  }
  uint32_t GetDriveTypeA(const char* root) override {
    return inner_.GetDriveTypeA(root);
  }
  int GetDiskFreeSpaceA(const char* root, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector, uint32_t* freeClusters, uint32_t* totalClusters) override {
    return inner_.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
  }
  uint32_t GetFullPathNameA(const char* path, uint32_t size, char* out, char** filePart) override {
    return inner_.GetFullPathNameA(path, size, out, filePart);
  }
  int CreateDirectoryA(const char* path) override {
    return inner_.CreateDirectoryA(path);
  }
  FindHandle FindFirstFileA(const char* path, FindData* out) override {
    return inner_.FindFirstFileA(path, out);
  }
  int FindClose(FindHandle find) override {
    return inner_.FindClose(find);
  }
  uint32_t GetShortPathNameA(const char* longPath, char* out, uint32_t size) override {
    return inner_.GetShortPathNameA(longPath, out, size);
  }
  int MoveFileExA(const char* from, const char* to, uint32_t flags) override {
    return inner_.MoveFileExA(from, to, flags);
  }
  int GetVersionExA(VersionInfo* out) override {
    return inner_.GetVersionExA(out);
  }
  void GetSystemTime(SystemTime* out) override {
    inner_.GetSystemTime(out);
  }
  int GetSpecialFolderPath(int csidl, char* out) override {
    return inner_.GetSpecialFolderPath(csidl, out);
  }
  uint32_t VerFindFileA(uint32_t flags, const char* fileName, const char* windowsFolder, const char* appFolder, char* currentFolder, uint32_t* currentSize, char* destFolder, uint32_t* destSize) override {
    return inner_.VerFindFileA(flags, fileName, windowsFolder, appFolder, currentFolder, currentSize, destFolder, destSize);
  }
  int CreateProcessA(char* commandLine, ProcessInfo* out) override {
    return inner_.CreateProcessA(commandLine, out);
  }
  int GetExitCodeProcess(ProcessHandle process, uint32_t* code) override {
    return inner_.GetExitCodeProcess(process, code);
  }
  uint32_t WaitForSingleObject(ProcessHandle object, uint32_t milliseconds) override {
    return inner_.WaitForSingleObject(object, milliseconds);
  }
  uint32_t WinExec(const char* commandLine, int show) override {
    return inner_.WinExec(commandLine, show);
  }
  int PeekMessageA(WindowHandle window, uint32_t filterMin, uint32_t filterMax, uint32_t remove) override {
    return inner_.PeekMessageA(window, filterMin, filterMax, remove);
  }

  // Version resources, the shell, fonts and libraries.
  uint32_t GetFileVersionInfoSizeA(const char* path) override {
    return inner_.GetFileVersionInfoSizeA(path);
  }
  int GetFileVersionInfoA(const char* path, uint32_t size, void* data) override {
    return inner_.GetFileVersionInfoA(path, size, data);
  }
  int VerQueryValueA(const void* block, const char* subBlock, const void** value, uint32_t* length) override {
    return inner_.VerQueryValueA(block, subBlock, value, length);
  }
  uintptr_t ShellExecuteA(WindowHandle owner, const char* file, const char* folder, int show) override {
    return inner_.ShellExecuteA(owner, file, folder, show);
  }
  int32_t CreateShellLink(const ShellLinkInfo& link, const char* linkFile) override {
    return inner_.CreateShellLink(link, linkFile);
  }
  int AddFontResourceA(const char* path) override {
    return inner_.AddFontResourceA(path);
  }
  void BroadcastFontChange() override {
    inner_.BroadcastFontChange();
  }
  int RemoveFontResourceA(const char* path) override {
    return inner_.RemoveFontResourceA(path);
  }
  LibraryHandle LoadLibraryA(const char* path) override {
    return inner_.LoadLibraryA(path);
  }
  ProcAddress GetProcAddress(LibraryHandle library, const char* name) override {
    return inner_.GetProcAddress(library, name);
  }
  int32_t CallRegistrationFunction(ProcAddress function) override {
    return inner_.CallRegistrationFunction(function);
  }
  int FreeLibrary(LibraryHandle library) override {
    return inner_.FreeLibrary(library);
  }

 protected:
  Platform& inner_;
};

}  // namespace setup
