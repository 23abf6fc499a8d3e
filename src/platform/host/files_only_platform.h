// A platform for programs that need files and the heap only (the native
// tools, the benchmarks): every call about the rest of the machine fails with
// ERROR_CALL_NOT_IMPLEMENTED (or gives an empty answer), so that a tool that
// reaches one by mistake sees a failure rather than a made-up machine.
#pragma once

#include "platform/platform.h"

namespace setup {

class FilesOnlyPlatform : public Platform {
 public:


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
  int RemoveDirectoryA(const char* path) override;
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

 protected:
  // Records the error that GetLastError reports next.
  virtual void NoteError(uint32_t error) = 0;

 private:
  int Unavailable();
};

}  // namespace setup
