#include "platform/host/files_only_platform.h"

namespace setup {

int FilesOnlyPlatform::Unavailable() {
  NoteError(kErrorCallNotImplemented);
  return 0;
}

long FilesOnlyPlatform::RegOpenKeyA(RegKey, const char*, RegKey* out) {
  *out = 0;
  return kErrorCallNotImplemented;
}
long FilesOnlyPlatform::RegOpenKeyExA(RegKey, const char*, uint32_t, RegKey* out) {
  *out = 0;
  return kErrorCallNotImplemented;
}
long FilesOnlyPlatform::RegCreateKeyA(RegKey, const char*, RegKey* out) {
  *out = 0;
  return kErrorCallNotImplemented;
}
long FilesOnlyPlatform::RegQueryValueExA(RegKey, const char*, uint32_t*, void*, uint32_t*) {
  return kErrorCallNotImplemented;
}
long FilesOnlyPlatform::RegSetValueExA(RegKey, const char*, uint32_t, const void*, uint32_t) {
  return kErrorCallNotImplemented;
}
long FilesOnlyPlatform::RegCloseKey(RegKey) { return kErrorCallNotImplemented; }
long FilesOnlyPlatform::RegDeleteValueA(RegKey, const char*) { return kErrorCallNotImplemented; }
long FilesOnlyPlatform::RegDeleteKeyA(RegKey, const char*) { return kErrorCallNotImplemented; }
long FilesOnlyPlatform::RegEnumValueA(RegKey, uint32_t, char*, uint32_t*, uint32_t*, void*, uint32_t*) {
  return kErrorCallNotImplemented;
}
uint32_t FilesOnlyPlatform::GetPrivateProfileStringA(const char*, const char*, const char*, char* out,
                                                uint32_t size, const char*) {
  if (size != 0) out[0] = '\0';
  return 0;
}
int FilesOnlyPlatform::WritePrivateProfileStringA(const char*, const char*, const char*, const char*) {
  return Unavailable();
}
uint32_t FilesOnlyPlatform::GetWindowsDirectoryA(char*, uint32_t) { return Unavailable(); }
uint32_t FilesOnlyPlatform::GetSystemDirectoryA(char*, uint32_t) { return Unavailable(); }
uint32_t FilesOnlyPlatform::GetTempPathA(uint32_t, char*) { return Unavailable(); }
uint32_t FilesOnlyPlatform::GetDriveTypeA(const char*) { return kDriveNoRootDir; }
int FilesOnlyPlatform::GetDiskFreeSpaceA(const char*, uint32_t*, uint32_t*, uint32_t*, uint32_t*) {
  return Unavailable();
}
uint32_t FilesOnlyPlatform::GetFullPathNameA(const char*, uint32_t, char*, char**) {
  return Unavailable();
}
int FilesOnlyPlatform::CreateDirectoryA(const char*) { return Unavailable(); }
int FilesOnlyPlatform::RemoveDirectoryA(const char*) { return Unavailable(); }
FindHandle FilesOnlyPlatform::FindFirstFileA(const char*, FindData*) {
  Unavailable();
  return kInvalidFile;
}
int FilesOnlyPlatform::FindClose(FindHandle) { return Unavailable(); }
uint32_t FilesOnlyPlatform::GetShortPathNameA(const char*, char*, uint32_t) { return Unavailable(); }
int FilesOnlyPlatform::MoveFileExA(const char*, const char*, uint32_t) { return Unavailable(); }
int FilesOnlyPlatform::GetVersionExA(VersionInfo*) { return Unavailable(); }
void FilesOnlyPlatform::GetSystemTime(SystemTime* out) { *out = SystemTime{}; }
int FilesOnlyPlatform::GetSpecialFolderPath(int, char* out) {
  out[0] = '\0';
  return Unavailable();
}
uint32_t FilesOnlyPlatform::VerFindFileA(uint32_t, const char*, const char*, const char*, char*,
                                    uint32_t* currentSize, char*, uint32_t* destSize) {
  *currentSize = 0;
  *destSize = 0;
  return 0;
}
int FilesOnlyPlatform::CreateProcessA(char*, ProcessInfo* out) {
  *out = ProcessInfo{};
  return Unavailable();
}
int FilesOnlyPlatform::GetExitCodeProcess(ProcessHandle, uint32_t*) { return Unavailable(); }
uint32_t FilesOnlyPlatform::WaitForSingleObject(ProcessHandle, uint32_t) {
  Unavailable();
  return kWaitFailed;
}
uint32_t FilesOnlyPlatform::WinExec(const char*, int) { return 0; }
int FilesOnlyPlatform::PeekMessageA(WindowHandle, uint32_t, uint32_t, uint32_t) { return 0; }

uint32_t FilesOnlyPlatform::GetFileVersionInfoSizeA(const char*) { return Unavailable(); }
int FilesOnlyPlatform::GetFileVersionInfoA(const char*, uint32_t, void*) { return Unavailable(); }
int FilesOnlyPlatform::VerQueryValueA(const void*, const char*, const void** value,
                                      uint32_t* length) {
  *value = nullptr;
  *length = 0;
  return 0;
}
uintptr_t FilesOnlyPlatform::ShellExecuteA(WindowHandle, const char*, const char*, int) {
  return Unavailable();
}
int32_t FilesOnlyPlatform::CreateShellLink(const ShellLinkInfo&, const char*) {
  return static_cast<int32_t>(0x80004001u);  // E_NOTIMPL
}
int FilesOnlyPlatform::AddFontResourceA(const char*) { return Unavailable(); }
void FilesOnlyPlatform::BroadcastFontChange() {}
int FilesOnlyPlatform::RemoveFontResourceA(const char*) { return Unavailable(); }
LibraryHandle FilesOnlyPlatform::LoadLibraryA(const char*) { return Unavailable(); }
ProcAddress FilesOnlyPlatform::GetProcAddress(LibraryHandle, const char*) { return Unavailable(); }
int32_t FilesOnlyPlatform::CallRegistrationFunction(ProcAddress) {
  return static_cast<int32_t>(0x80004001u);
}
int FilesOnlyPlatform::FreeLibrary(LibraryHandle) { return Unavailable(); }

}  // namespace setup
