#include "unit/support/fault_platform.h"

namespace setup::test {

namespace {

constexpr int32_t kHresultAccessDenied = static_cast<int32_t>(0x80070005u);
constexpr int32_t kHresultDiskFull = static_cast<int32_t>(0x80070070u);

std::string Text(const char* s) { return s != nullptr ? s : "(null)"; }

}  // namespace

FaultPlatform::Fault FaultPlatform::Count(const std::string& what) {
  ++count_;
  calls_.push_back(what);
  haveError_ = false;
  if (killed_) return Fault::kDead;
  if (count_ != failAt_) return Fault::kNone;
  injected_ = true;
  switch (mode_) {
    case Mode::kDiskFull: return Fault::kDiskFull;
    case Mode::kAccessDenied: return Fault::kDenied;
    case Mode::kKilled: killed_ = true; return Fault::kDead;
  }
  return Fault::kNone;
}

std::string FaultPlatform::PathOf(FileHandle file) const {
  auto it = paths_.find(file);
  return it != paths_.end() ? it->second : "(handle " + std::to_string(file) + ")";
}

FileHandle FaultPlatform::CreateFileA(const char* path, uint32_t access, uint32_t share,
                                      uint32_t disposition) {
  bool writes = (access & kGenericWrite) != 0 || disposition == kCreateAlways;
  if (writes) {
    Fault fault = Count((disposition == kCreateAlways ? "CreateFile " : "OpenForWrite ") + Text(path));
    if (fault != Fault::kNone) {
      Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
      return kInvalidFile;
    }
  } else {
    haveError_ = false;
  }
  FileHandle file = ForwardingPlatform::CreateFileA(path, access, share, disposition);
  if (file != kInvalidFile) paths_[file] = Text(path);
  return file;
}

int FaultPlatform::WriteFile(FileHandle file, const void* buffer, uint32_t count,
                             uint32_t* done) {
  Fault fault = Count("WriteFile " + PathOf(file) + " (" + std::to_string(count) + " bytes)");
  if (fault == Fault::kDiskFull) {
    // What a full disk does: part of the bytes land, the count says so.
    uint32_t part = count / 2;
    uint32_t wrote = 0;
    if (part > 0 && !ForwardingPlatform::WriteFile(file, buffer, part, &wrote)) wrote = 0;
    if (done != nullptr) *done = wrote;
    Fail(kErrorDiskFull);
    return 1;
  }
  if (fault != Fault::kNone) {
    if (done != nullptr) *done = 0;
    Fail(kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::WriteFile(file, buffer, count, done);
}

int FaultPlatform::SetEndOfFile(FileHandle file) {
  Fault fault = Count("SetEndOfFile " + PathOf(file));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::SetEndOfFile(file);
}

int FaultPlatform::CloseHandle(FileHandle file) {
  paths_.erase(file);
  haveError_ = false;
  return ForwardingPlatform::CloseHandle(file);
}

int FaultPlatform::DeleteFileA(const char* path) {
  Fault fault = Count("DeleteFile " + Text(path));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::DeleteFileA(path);
}

int FaultPlatform::MoveFileA(const char* from, const char* to) {
  Fault fault = Count("MoveFile " + Text(from) + " -> " + Text(to));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::MoveFileA(from, to);
}

int FaultPlatform::MoveFileExA(const char* from, const char* to, uint32_t flags) {
  Fault fault = Count("MoveFileEx " + Text(from) + " -> " + Text(to));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::MoveFileExA(from, to, flags);
}

int FaultPlatform::SetFileAttributesA(const char* path, uint32_t attributes) {
  Fault fault = Count("SetFileAttributes " + Text(path));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::SetFileAttributesA(path, attributes);
}

int FaultPlatform::SetFileTime(FileHandle file, const FileTime* creation,
                               const FileTime* lastAccess, const FileTime* lastWrite) {
  Fault fault = Count("SetFileTime " + PathOf(file));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::SetFileTime(file, creation, lastAccess, lastWrite);
}

int FaultPlatform::CreateDirectoryA(const char* path) {
  Fault fault = Count("CreateDirectory " + Text(path));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::CreateDirectoryA(path);
}

uint32_t FaultPlatform::GetLastError() {
  return haveError_ ? lastError_ : ForwardingPlatform::GetLastError();
}

long FaultPlatform::RegCreateKeyA(RegKey root, const char* subKey, RegKey* out) {
  Fault fault = Count("RegCreateKey " + Text(subKey));
  if (fault != Fault::kNone) {
    if (out != nullptr) *out = 0;
    return fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied;
  }
  return ForwardingPlatform::RegCreateKeyA(root, subKey, out);
}

long FaultPlatform::RegSetValueExA(RegKey key, const char* name, uint32_t type, const void* data,
                                   uint32_t size) {
  Fault fault = Count("RegSetValue " + Text(name));
  if (fault != Fault::kNone) return fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied;
  return ForwardingPlatform::RegSetValueExA(key, name, type, data, size);
}

int FaultPlatform::WritePrivateProfileStringA(const char* section, const char* key,
                                              const char* value, const char* file) {
  // A flush of the profile cache changes nothing.
  if (section == nullptr && key == nullptr && value == nullptr) {
    return ForwardingPlatform::WritePrivateProfileStringA(section, key, value, file);
  }
  Fault fault = Count("WriteProfile " + Text(file) + " [" + Text(section) + "] " + Text(key));
  if (fault != Fault::kNone) {
    Fail(fault == Fault::kDiskFull ? kErrorDiskFull : kErrorAccessDenied);
    return 0;
  }
  return ForwardingPlatform::WritePrivateProfileStringA(section, key, value, file);
}

int32_t FaultPlatform::CreateShellLink(const ShellLinkInfo& link, const char* linkFile) {
  Fault fault = Count("CreateShellLink " + Text(linkFile));
  if (fault != Fault::kNone) return fault == Fault::kDiskFull ? kHresultDiskFull : kHresultAccessDenied;
  return ForwardingPlatform::CreateShellLink(link, linkFile);
}

}  // namespace setup::test
