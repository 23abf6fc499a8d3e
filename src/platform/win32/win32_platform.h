// The real Windows backend: every method is the Win32 call of the same name.
#pragma once

#include "platform/platform.h"

namespace setup {

class Win32Platform final : public Platform {
 public:
  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override;
  int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) override;
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override;
  uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) override;
  int SetEndOfFile(FileHandle file) override;
  int CloseHandle(FileHandle file) override;
  int DeleteFileA(const char* path) override;
  int RemoveDirectoryA(const char* path) override;
  int MoveFileA(const char* from, const char* to) override;
  uint32_t GetFileAttributesA(const char* path) override;
  int SetFileAttributesA(const char* path, uint32_t attributes) override;
  int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) override;
  uint32_t GetLastError() override;

  void* HeapAlloc(uint32_t size, bool zeroed) override;
  void HeapFree(void* block) override;
  void HeapCompact() override;

  int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                  uint32_t type) override;

  // --- The rest of the machine ----------------------------------------------

  long RegOpenKeyA(RegKey root, const char* subKey, RegKey* out) override;
  long RegOpenKeyExA(RegKey root, const char* subKey, uint32_t access, RegKey* out) override;
  long RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) override;
  long RegQueryValueExA(RegKey key, const char* name, uint32_t* type, void* data,
                        uint32_t* size) override;
  long RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                      uint32_t size) override;
  long RegCloseKey(RegKey key) override;
  long RegDeleteValueA(RegKey key, const char* name) override;
  long RegDeleteKeyA(RegKey root, const char* subKey) override;
  long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                     void* data, uint32_t* dataSize) override;
  uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                    const char* defaultValue, char* out, uint32_t size,
                                    const char* file) override;
  int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                 const char* file) override;
  uint32_t GetWindowsDirectoryA(char* out, uint32_t size) override;
  uint32_t GetSystemDirectoryA(char* out, uint32_t size) override;
  uint32_t GetTempPathA(uint32_t size, char* out) override;
  uint32_t GetDriveTypeA(const char* root) override;
  int GetDiskFreeSpaceA(const char* root, uint32_t* sectorsPerCluster, uint32_t* bytesPerSector,
                        uint32_t* freeClusters, uint32_t* totalClusters) override;
  uint32_t GetFullPathNameA(const char* path, uint32_t size, char* out, char** filePart) override;
  int CreateDirectoryA(const char* path) override;
  FindHandle FindFirstFileA(const char* path, FindData* out) override;
  int FindClose(FindHandle find) override;
  uint32_t GetShortPathNameA(const char* longPath, char* out, uint32_t size) override;
  int MoveFileExA(const char* from, const char* to, uint32_t flags) override;
  int GetVersionExA(VersionInfo* out) override;
  void GetSystemTime(SystemTime* out) override;
  int GetSpecialFolderPath(int csidl, char* out) override;
  uint32_t VerFindFileA(uint32_t flags, const char* fileName, const char* windowsFolder,
                        const char* appFolder, char* currentFolder, uint32_t* currentSize,
                        char* destFolder, uint32_t* destSize) override;
  int CreateProcessA(char* commandLine, ProcessInfo* out) override;
  int GetExitCodeProcess(ProcessHandle process, uint32_t* code) override;
  uint32_t WaitForSingleObject(ProcessHandle object, uint32_t milliseconds) override;
  uint32_t WinExec(const char* commandLine, int show) override;
  int PeekMessageA(WindowHandle window, uint32_t filterMin, uint32_t filterMax,
                   uint32_t remove) override;

  // --- Version resources, the shell, fonts and self-registering libraries --

  uint32_t GetFileVersionInfoSizeA(const char* path) override;
  int GetFileVersionInfoA(const char* path, uint32_t size, void* data) override;
  int VerQueryValueA(const void* block, const char* subBlock, const void** value,
                     uint32_t* length) override;
  uintptr_t ShellExecuteA(WindowHandle owner, const char* file, const char* folder,
                          int show) override;
  int32_t CreateShellLink(const ShellLinkInfo& link, const char* linkFile) override;
  int AddFontResourceA(const char* path) override;
  void BroadcastFontChange() override;
  int RemoveFontResourceA(const char* path) override;
  LibraryHandle LoadLibraryA(const char* path) override;
  ProcAddress GetProcAddress(LibraryHandle library, const char* name) override;
  int32_t CallRegistrationFunction(ProcAddress function) override;
  int FreeLibrary(LibraryHandle library) override;
};

}  // namespace setup
