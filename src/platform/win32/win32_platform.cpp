#include "platform/win32/win32_platform.h"

#include <windows.h>

namespace setup {

static_assert(kGenericRead == GENERIC_READ && kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ && kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kCreateAlways == CREATE_ALWAYS && kOpenExisting == OPEN_EXISTING);
static_assert(kFileBegin == FILE_BEGIN && kFileCurrent == FILE_CURRENT && kFileEnd == FILE_END);
static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kMbYesNo == MB_YESNO && kMbIconQuestion == MB_ICONQUESTION && kIdYes == IDYES);

namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

FileHandle Win32Platform::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                      uint32_t disposition) {
  HANDLE h = ::CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  return reinterpret_cast<FileHandle>(h);
}

int Win32Platform::ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ::ReadFile(ToHandle(file), buffer, count, &n, nullptr);
  *done = n;
  return ok;
}

int Win32Platform::WriteFile(FileHandle file, const void* buffer, uint32_t count,
                             uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ::WriteFile(ToHandle(file), buffer, count, &n, nullptr);
  *done = n;
  return ok;
}

uint32_t Win32Platform::SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) {
  return ::SetFilePointer(ToHandle(file), distance, nullptr, origin);
}

int Win32Platform::CloseHandle(FileHandle file) { return ::CloseHandle(ToHandle(file)); }

int Win32Platform::DeleteFileA(const char* path) { return ::DeleteFileA(path); }

int Win32Platform::MoveFileA(const char* from, const char* to) { return ::MoveFileA(from, to); }

uint32_t Win32Platform::GetFileAttributesA(const char* path) {
  return ::GetFileAttributesA(path);
}

int Win32Platform::SetFileAttributesA(const char* path, uint32_t attributes) {
  return ::SetFileAttributesA(path, attributes);
}

int Win32Platform::SetFileTime(FileHandle file, const FileTime* creation,
                               const FileTime* lastAccess, const FileTime* lastWrite) {
  static_assert(sizeof(FileTime) == sizeof(FILETIME));
  return ::SetFileTime(ToHandle(file), reinterpret_cast<const FILETIME*>(creation),
                       reinterpret_cast<const FILETIME*>(lastAccess),
                       reinterpret_cast<const FILETIME*>(lastWrite));
}

uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }

void* Win32Platform::HeapAlloc(uint32_t size, bool zeroed) {
  return ::HeapAlloc(::GetProcessHeap(), zeroed ? HEAP_ZERO_MEMORY : 0, size);
}

void Win32Platform::HeapFree(void* block) { ::HeapFree(::GetProcessHeap(), 0, block); }

void Win32Platform::HeapCompact() { ::HeapCompact(::GetProcessHeap(), 0); }

int Win32Platform::MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                               uint32_t type) {
  return ::MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, type);
}

}  // namespace setup
