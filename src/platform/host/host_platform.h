// The backend of the native tools: the platform calls over the host's own
// files, so that the tools read packages with the engine's code on any OS.
//
// Paths use the engine's backslash separators and are translated to the host's
// on the way in. Message boxes go to standard error and take their safe answer
// (OK, Cancel, No, Abort): a tool never waits for a person.
#pragma once

#include <string>

#include "platform/host/files_only_platform.h"

namespace setup {

class HostPlatform final : public FilesOnlyPlatform {
 public:
  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override;
  int ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) override;
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override;
  uint32_t SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) override;
  int SetEndOfFile(FileHandle file) override;
  int CloseHandle(FileHandle file) override;
  int DeleteFileA(const char* path) override;
  int MoveFileA(const char* from, const char* to) override;
  uint32_t GetFileAttributesA(const char* path) override;
  int SetFileAttributesA(const char* path, uint32_t attributes) override;
  // Folders, so that the engine can install into a tree.
  int CreateDirectoryA(const char* path) override;
  int RemoveDirectoryA(const char* path) override;
  int SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess,
                  const FileTime* lastWrite) override;
  uint32_t GetLastError() override;

  void* HeapAlloc(uint32_t size, bool zeroed) override;
  void HeapFree(void* block) override;
  void HeapCompact() override {}

  int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                  uint32_t type) override;

 private:
  // Sets the last error from errno; with the path the call was given, a missing
  // entry is told apart from a missing folder.
  void NoteErrno(const std::string* hostPath = nullptr);
  void NoteError(uint32_t error) override { SetError(error); }
  void SetError(uint32_t error) {
    lastError_ = error;
    missingEntry_.clear();
  }
  uint32_t lastError_ = 0;
  // A missing entry whose folder decides between file and path not found.
  std::string missingEntry_;
};

// A host path written with the engine's separators, and back.
void ToEnginePath(const char* hostPath, char* out, unsigned size);

}  // namespace setup
