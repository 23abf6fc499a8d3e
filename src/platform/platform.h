// The platform seam: the one interface through which the setup engine reaches
// the operating system.
//
// Each method is one Windows call, with the same arguments, results and error
// reporting (a failed call leaves its reason for GetLastError). The Win32
// backend passes every call straight through; the simulated backend plays a
// small Windows machine in memory so that the engine runs in unit tests; the
// host backend serves the native tools on any OS.
//
// Nothing outside src/platform/win32/ sees <windows.h>. The constants below carry
// the values Windows gives them, under names of our own so that they never
// collide with the macros of the Windows headers.
#pragma once

#include <cstdint>

namespace setup {

// A file handle as the engine sees it; kInvalidFile is INVALID_HANDLE_VALUE.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFile = -1;

// A FILETIME: 100-nanosecond ticks since 1601, in two halves.
struct FileTime {
  uint32_t low;
  uint32_t high;
};

// A window handle; 0 is "no window".
using WindowHandle = uintptr_t;

// CreateFileA access rights, sharing modes and dispositions.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 0x00000001u;
constexpr uint32_t kFileShareWrite = 0x00000002u;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;

// SetFilePointer origins and its failure value.
constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;
constexpr uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;

// File attributes.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// GetLastError values the engine tells apart.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorNegativeSeek = 131;
constexpr uint32_t kErrorAlreadyExists = 183;

// MessageBoxA types and answers.
constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbOkCancel = 0x01;
constexpr uint32_t kMbAbortRetryIgnore = 0x02;
constexpr uint32_t kMbYesNoCancel = 0x03;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbRetryCancel = 0x05;
constexpr uint32_t kMbCancelTryContinue = 0x06;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbDefButton2 = 0x100;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kIdTryAgain = 10;
constexpr int kIdContinue = 11;

class Platform {
 public:
  virtual ~Platform() = default;

  // Files (KERNEL32).
  virtual FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                                 uint32_t disposition) = 0;
  // Returns nonzero on success; *done receives the bytes moved (0 at end of file).
  virtual int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) = 0;
  virtual int WriteFile(FileHandle file, const void* buffer, uint32_t count,
                        uint32_t* done) = 0;
  // Returns the new position, or kInvalidSetFilePointer.
  virtual uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) = 0;
  virtual int CloseHandle(FileHandle file) = 0;
  virtual int DeleteFileA(const char* path) = 0;
  virtual int MoveFileA(const char* from, const char* to) = 0;
  virtual uint32_t GetFileAttributesA(const char* path) = 0;
  virtual int SetFileAttributesA(const char* path, uint32_t attributes) = 0;
  // Null times are left as they are.
  virtual int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                          const FileTime* lastWrite) = 0;
  virtual uint32_t GetLastError() = 0;

  // The process heap (HeapAlloc, HeapFree, HeapCompact on GetProcessHeap()).
  virtual void* HeapAlloc(uint32_t size, bool zeroed) = 0;
  virtual void HeapFree(void* block) = 0;
  virtual void HeapCompact() = 0;

  // USER32.
  virtual int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                          uint32_t type) = 0;
};

}  // namespace setup
