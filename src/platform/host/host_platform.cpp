#include "platform/host/host_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace setup {

namespace {

std::string HostPath(const char* path) {
  std::string s(path);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

}  // namespace

void ToEnginePath(const char* hostPath, char* out, unsigned size) {
  unsigned i = 0;
  for (; hostPath[i] != '\0' && i + 1 < size; ++i) out[i] = hostPath[i] == '/' ? '\\' : hostPath[i];
  if (size != 0) out[i] = '\0';
}

void HostPlatform::NoteErrno() {
  switch (errno) {
    case ENOENT: lastError_ = kErrorFileNotFound; break;
    case ENOTDIR: lastError_ = kErrorPathNotFound; break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: lastError_ = kErrorAccessDenied; break;
    case EBADF: lastError_ = kErrorInvalidHandle; break;
    case ENOSPC: lastError_ = kErrorDiskFull; break;
    case EEXIST: lastError_ = kErrorAlreadyExists; break;
    default: lastError_ = kErrorInvalidParameter; break;
  }
}

FileHandle HostPlatform::CreateFileA(const char* path, uint32_t access, uint32_t /*share*/,
                                     uint32_t disposition) {
  int flags = 0;
  bool read = (access & kGenericRead) != 0;
  bool write = (access & kGenericWrite) != 0;
  if (read && write) flags = O_RDWR;
  else if (write) flags = O_WRONLY;
  else flags = O_RDONLY;
  if (disposition == kCreateAlways) flags |= O_CREAT | O_TRUNC;
  else if (disposition != kOpenExisting) {
    lastError_ = kErrorInvalidParameter;
    return kInvalidFile;
  }
  std::string host = HostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    lastError_ = kErrorAccessDenied;
    return kInvalidFile;
  }
  int fd = open(host.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    NoteErrno();
    return kInvalidFile;
  }
  return fd;
}

int HostPlatform::ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  *done = 0;
  auto* p = static_cast<char*>(buffer);
  while (*done < count) {
    ssize_t n = read(static_cast<int>(file), p + *done, count - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      NoteErrno();
      return 0;
    }
    if (n == 0) break;
    *done += static_cast<uint32_t>(n);
  }
  return 1;
}

int HostPlatform::WriteFile(FileHandle file, const void* buffer, uint32_t count,
                            uint32_t* done) {
  *done = 0;
  auto* p = static_cast<const char*>(buffer);
  while (*done < count) {
    ssize_t n = write(static_cast<int>(file), p + *done, count - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      NoteErrno();
      return 0;
    }
    *done += static_cast<uint32_t>(n);
  }
  return 1;
}

uint32_t HostPlatform::SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) {
  int whence = origin == kFileBegin ? SEEK_SET : origin == kFileCurrent ? SEEK_CUR : SEEK_END;
  off_t offset = origin == kFileBegin ? static_cast<off_t>(static_cast<uint32_t>(distance))
                                      : static_cast<off_t>(distance);
  off_t pos = lseek(static_cast<int>(file), offset, whence);
  if (pos < 0 || pos >= 0xFFFFFFFFll) {
    NoteErrno();
    return kInvalidSetFilePointer;
  }
  return static_cast<uint32_t>(pos);
}

int HostPlatform::CloseHandle(FileHandle file) {
  if (close(static_cast<int>(file)) != 0) {
    NoteErrno();
    return 0;
  }
  return 1;
}

int HostPlatform::DeleteFileA(const char* path) {
  if (unlink(HostPath(path).c_str()) != 0) {
    NoteErrno();
    return 0;
  }
  return 1;
}

int HostPlatform::MoveFileA(const char* from, const char* to) {
  std::string target = HostPath(to);
  if (access(target.c_str(), F_OK) == 0) {
    lastError_ = kErrorAlreadyExists;
    return 0;
  }
  if (rename(HostPath(from).c_str(), target.c_str()) != 0) {
    NoteErrno();
    return 0;
  }
  return 1;
}

uint32_t HostPlatform::GetFileAttributesA(const char* path) {
  struct stat st;
  if (stat(HostPath(path).c_str(), &st) != 0) {
    NoteErrno();
    return kInvalidFileAttributes;
  }
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  return attributes != 0 ? attributes : kAttrNormal;
}

int HostPlatform::SetFileAttributesA(const char* path, uint32_t attributes) {
  std::string host = HostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    NoteErrno();
    return 0;
  }
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  if (chmod(host.c_str(), mode) != 0) {
    NoteErrno();
    return 0;
  }
  return 1;
}

void* HostPlatform::HeapAlloc(uint32_t size, bool zeroed) {
  if (size == 0) size = 1;
  return zeroed ? std::calloc(1, size) : std::malloc(size);
}

void HostPlatform::HeapFree(void* block) { std::free(block); }

int HostPlatform::MessageBoxA(WindowHandle /*owner*/, const char* text, const char* caption,
                              uint32_t type) {
  std::fprintf(stderr, "%s%s%s\n", caption != nullptr ? caption : "",
               caption != nullptr && *caption != '\0' ? ": " : "", text != nullptr ? text : "");
  switch (type & 0x0F) {
    case kMbOkCancel: return kIdCancel;
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
  }
}

}  // namespace setup
