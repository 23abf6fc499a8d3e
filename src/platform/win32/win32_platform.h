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
  int CloseHandle(FileHandle file) override;
  int DeleteFileA(const char* path) override;
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
};

}  // namespace setup
