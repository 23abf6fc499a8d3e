#include "base/file_io.h"

namespace setup {

FileHandle OpenForRead(Platform& platform, const char* path) {
  return platform.CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting);
}

FileHandle OpenForWrite(Platform& platform, const char* path) {
  return platform.CreateFileA(path, kGenericWrite, 0, kOpenExisting);
}

FileHandle OpenForReadWrite(Platform& platform, const char* path) {
  return platform.CreateFileA(path, kGenericRead | kGenericWrite, kFileShareRead,
                              kOpenExisting);
}

FileHandle CreateForWrite(Platform& platform, const char* path) {
  return platform.CreateFileA(path, kGenericWrite, 0, kCreateAlways);
}

bool ReadExact(Platform& platform, FileHandle file, void* buffer, uint32_t n) {
  uint32_t done = 0;
  return platform.ReadFile(file, buffer, n, &done) && done == n;
}

uint32_t ReadUpTo(Platform& platform, FileHandle file, void* buffer, uint32_t n) {
  uint32_t done = 0;
  if (!platform.ReadFile(file, buffer, n, &done)) return 0;
  return done;
}

WriteResult WriteBytes(Platform& platform, FileHandle file, const void* buffer, uint32_t n) {
  uint32_t done = 0;
  if (!platform.WriteFile(file, buffer, n, &done)) return WRITE_FAILED;
  return done == n ? WRITE_OK : WRITE_SHORT;
}

uint32_t SeekFile(Platform& platform, FileHandle file, int32_t distance, uint32_t origin) {
  return platform.SetFilePointer(file, distance, origin);
}

uint32_t TellFile(Platform& platform, FileHandle file) {
  return platform.SetFilePointer(file, 0, kFileCurrent);
}

uint32_t FileSize(Platform& platform, FileHandle file) {
  uint32_t here = TellFile(platform, file);
  uint32_t end = platform.SetFilePointer(file, 0, kFileEnd);
  platform.SetFilePointer(file, static_cast<int32_t>(here), kFileBegin);
  return end;
}

void CloseFile(Platform& platform, FileHandle* file) {
  if (*file != kInvalidFile) {
    platform.CloseHandle(*file);
    *file = kInvalidFile;
  }
}

}  // namespace setup
