// A platform that passes every call on to another one. Tests derive from it
// and override the calls they want to watch or change.
#pragma once

#include "platform/platform.h"

namespace setup::test {

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
  int CloseHandle(FileHandle file) override { return inner_.CloseHandle(file); }
  int DeleteFileA(const char* path) override { return inner_.DeleteFileA(path); }
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

 private:
  Platform& inner_;
};

}  // namespace setup::test
