#include "platform/host/host_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/windows_rules.h"

namespace setup {

namespace {

std::string HostPath(const char* path) {
  std::string s(path);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

// Whether the folder a host path names its entry in exists.
bool FolderOfExists(const std::string& host) {
  size_t slash = host.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash);
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The read-only attribute is the owner's write bit; Windows honours it even
// for administrators, so it is checked here rather than left to open(), which
// lets root write anyway.
bool ReadOnly(const struct stat& st) { return !S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0; }

// A handle's access right is missing (rather than the handle being invalid).
bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Writes all of a buffer; false with errno set on failure.
bool WriteAll(int fd, const char* p, size_t n) {
  while (n != 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Copies a regular file's bytes and permission bits into a new file; false
// with errno set on failure.
bool CopyContents(int in, int out, mode_t mode) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
  }
  return fchmod(out, mode & 07777) == 0;
}

// Moves a regular file to another file system: copies it under the new name,
// then removes the original. On failure nothing is left at the new name and
// errno tells why.
bool CopyAcross(const std::string& from, const std::string& to, const struct stat& st) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    int saved = errno;
    close(in);
    errno = saved;
    return false;
  }
  bool ok = CopyContents(in, out, st.st_mode);
  int saved = errno;
  if (close(out) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  close(in);
  if (ok && unlink(from.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    unlink(to.c_str());
    errno = saved;
  }
  return ok;
}

}  // namespace

uint32_t HostPlatform::GetLastError() {
  if (!missingEntry_.empty()) {
    if (!FolderOfExists(missingEntry_)) lastError_ = kErrorPathNotFound;
    missingEntry_.clear();
  }
  return lastError_;
}

void ToEnginePath(const char* hostPath, char* out, unsigned size) {
  unsigned i = 0;
  for (; hostPath[i] != '\0' && i + 1 < size; ++i) out[i] = hostPath[i] == '/' ? '\\' : hostPath[i];
  if (size != 0) out[i] = '\0';
}

void HostPlatform::NoteErrno(const std::string* hostPath) {
  // A missing entry in a missing folder is a missing path, as on Windows.
  // Most callers only want to know that the call failed, so the folder is
  // looked at when the error is asked for.
  if (errno == ENOENT && hostPath != nullptr) {
    SetError(kErrorFileNotFound);
    missingEntry_ = *hostPath;
    return;
  }
  switch (errno) {
    case ENOENT: SetError(kErrorFileNotFound); break;
    case ENOTDIR: SetError(kErrorPathNotFound); break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: SetError(kErrorAccessDenied); break;
    case EBADF: SetError(kErrorInvalidHandle); break;
    case ENOSPC: SetError(kErrorDiskFull); break;
    case EEXIST: SetError(kErrorAlreadyExists); break;
    default: SetError(kErrorInvalidParameter); break;
  }
}

FileHandle HostPlatform::CreateFileA(const char* path, uint32_t access, uint32_t /*share*/,
                                     uint32_t disposition) {
  int flags = 0;
  bool read = (access & kGenericRead) != 0;
  bool write = (access & kGenericWrite) != 0;
  bool create = disposition == kCreateAlways;
  if (read && write) flags = O_RDWR;
  else if (write) flags = O_WRONLY;
  else flags = O_RDONLY;
  if (!create && disposition != kOpenExisting) {
    SetError(kErrorInvalidParameter);
    return kInvalidFile;
  }
  // Not blocking, so that a named pipe in the file's place cannot hold the
  // open up; the checks below turn it away once it is open.
  flags |= O_CLOEXEC | O_NONBLOCK;
  std::string host = HostPath(path);
  // A new file is made in one call; only a name already taken needs the
  // checks of an existing file. Nothing is truncated before they pass.
  bool existed = true;
  int fd = -1;
  if (create) {
    fd = open(host.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) existed = false;
    else if (errno != EEXIST) {
      NoteErrno(&host);
      return kInvalidFile;
    }
  }
  if (fd < 0) fd = open(host.c_str(), flags, 0666);
  if (fd < 0) {
    NoteErrno(&host);
    return kInvalidFile;
  }
  if (existed) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      close(fd);
      SetError(kErrorFileNotFound);
      return kInvalidFile;
    }
    if (S_ISDIR(st.st_mode) || ((write || create) && ReadOnly(st))) {
      close(fd);
      SetError(kErrorAccessDenied);
      return kInvalidFile;
    }
    if (!S_ISREG(st.st_mode)) {
      // A named pipe or a device is no file to read a package from: reading
      // one could wait for ever, or never end. It counts as missing. (Writing
      // to a device stays possible: tests fill a disk with /dev/full.)
      if (!write || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        SetError(kErrorFileNotFound);
        return kInvalidFile;
      }
    } else if (create && ftruncate(fd, 0) != 0) {
      NoteErrno();
      close(fd);
      return kInvalidFile;
    }
  }
  // Replacing an existing file succeeds with ERROR_ALREADY_EXISTS.
  SetError(existed && create ? kErrorAlreadyExists : 0);
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
      if (errno == EBADF && IsOpen(static_cast<int>(file))) SetError(kErrorAccessDenied);
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
      if (errno == EBADF && IsOpen(static_cast<int>(file))) SetError(kErrorAccessDenied);
      return 0;
    }
    *done += static_cast<uint32_t>(n);
  }
  return 1;
}

// The target is worked out here so that a move Windows refuses leaves the
// position alone: the distance is signed from every origin, a target before
// the start is a negative seek, and one at 4 GiB or beyond does not fit.
uint32_t HostPlatform::SetFilePointer(FileHandle file, int32_t distance, uint32_t origin) {
  int fd = static_cast<int>(file);
  // The common moves, to a position from the start and asking for the
  // position, cannot fail Windows' rules: one call does them.
  if ((origin == kFileBegin && distance >= 0) || (origin == kFileCurrent && distance == 0)) {
    off_t at = lseek(fd, distance, origin == kFileBegin ? SEEK_SET : SEEK_CUR);
    if (at < 0) {
      NoteErrno();
      return kInvalidSetFilePointer;
    }
    // A position at 4 GiB or beyond (only the current one can be) is
    // reported by the careful way below.
    if (static_cast<uint64_t>(at) < kInvalidSetFilePointer) return static_cast<uint32_t>(at);
  }
  if (!IsSeekOrigin(origin)) {
    SetError(kErrorInvalidParameter);
    return kInvalidSetFilePointer;
  }
  uint64_t base = 0;
  if (origin == kFileCurrent) {
    off_t here = lseek(fd, 0, SEEK_CUR);
    if (here < 0) {
      NoteErrno();
      return kInvalidSetFilePointer;
    }
    base = static_cast<uint64_t>(here);
  } else if (origin == kFileEnd) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      NoteErrno();
      return kInvalidSetFilePointer;
    }
    base = static_cast<uint64_t>(st.st_size);
  }
  uint32_t error = 0;
  uint32_t target = SeekTarget(base, distance, &error);
  if (target == kInvalidSetFilePointer) {
    SetError(error);
    return kInvalidSetFilePointer;
  }
  if (lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    NoteErrno();
    return kInvalidSetFilePointer;
  }
  return static_cast<uint32_t>(target);
}

int HostPlatform::SetEndOfFile(FileHandle file) {
  int fd = static_cast<int>(file);
  off_t here = lseek(fd, 0, SEEK_CUR);
  if (here < 0 || ftruncate(fd, here) != 0) {
    NoteErrno();
    return 0;
  }
  return 1;
}

int HostPlatform::CloseHandle(FileHandle file) {
  if (close(static_cast<int>(file)) != 0) {
    NoteErrno();
    return 0;
  }
  return 1;
}

int HostPlatform::DeleteFileA(const char* path) {
  std::string host = HostPath(path);
  struct stat st;
  if (lstat(host.c_str(), &st) == 0 && ReadOnly(st)) {
    SetError(kErrorAccessDenied);
    return 0;
  }
  if (unlink(host.c_str()) != 0) {
    NoteErrno(&host);
    return 0;
  }
  return 1;
}

// Like MoveFileA on Windows: never replaces another file, renames a file to
// itself (another case of its name on a case-blind file system), and copies a
// file to another file system.
int HostPlatform::MoveFileA(const char* from, const char* to) {
  std::string source = HostPath(from);
  std::string target = HostPath(to);
  struct stat st;
  if (lstat(source.c_str(), &st) != 0) {
    NoteErrno(&source);
    return 0;
  }
  struct stat existing;
  if (lstat(target.c_str(), &existing) == 0 &&
      (existing.st_dev != st.st_dev || existing.st_ino != st.st_ino)) {
    SetError(kErrorAlreadyExists);
    return 0;
  }
  if (rename(source.c_str(), target.c_str()) == 0) return 1;
  if (errno == EXDEV) {
    if (S_ISDIR(st.st_mode)) {
      SetError(kErrorAccessDenied);  // folders stay on their own volume
      return 0;
    }
    if (CopyAcross(source, target, st)) return 1;
  }
  NoteErrno(&target);
  return 0;
}

uint32_t HostPlatform::GetFileAttributesA(const char* path) {
  std::string host = HostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    NoteErrno(&host);
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
    NoteErrno(&host);
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

int HostPlatform::CreateDirectoryA(const char* path) {
  std::string host = HostPath(path);
  if (mkdir(host.c_str(), 0777) != 0) {
    NoteErrno(&host);
    return 0;
  }
  return 1;
}

int HostPlatform::RemoveDirectoryA(const char* path) {
  std::string host = HostPath(path);
  if (rmdir(host.c_str()) != 0) {
    NoteErrno(&host);
    return 0;
  }
  return 1;
}

// The host keeps access and modification times; creation time has no place.
int HostPlatform::SetFileTime(FileHandle file, const FileTime* /*creation*/,
                              const FileTime* lastAccess, const FileTime* lastWrite) {
  auto toTimespec = [](const FileTime* t) {
    struct timespec ts;
    if (t == nullptr) {
      ts.tv_sec = 0;
      ts.tv_nsec = UTIME_OMIT;
      return ts;
    }
    uint64_t ticks = static_cast<uint64_t>(t->high) << 32 | t->low;
    int64_t unixTicks = static_cast<int64_t>(ticks) - 116444736000000000ll;
    ts.tv_sec = static_cast<time_t>(unixTicks / 10000000);
    ts.tv_nsec = static_cast<long>(unixTicks % 10000000 * 100);
    if (ts.tv_nsec < 0) {
      ts.tv_nsec += 1000000000;
      ts.tv_sec -= 1;
    }
    return ts;
  };
  struct timespec times[2] = {toTimespec(lastAccess), toTimespec(lastWrite)};
  if (futimens(static_cast<int>(file), times) != 0) {
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
  return DecliningButton(type);
}

}  // namespace setup
