#include "tools/mkpkg/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/mkpkg/project_reader.h"

namespace setup::tools {

namespace {

std::string Kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

std::string InputProblem(const std::string& path, uint64_t limit, uint64_t* size) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return "cannot read " + path + ": " + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "cannot read " + path + ": it is " + Kind(st.st_mode) + ", not a file";
  *size = static_cast<uint64_t>(st.st_size);
  if (*size > limit) {
    return "file too large: " + path + " (" + std::to_string(*size) + " bytes, at most " +
           std::to_string(limit) + ")";
  }
  return "";
}

std::vector<uint8_t> InputFiles::Read(const std::string& path, uint64_t limit) {
  uint64_t size = 0;
  std::string problem = InputProblem(path, limit, &size);
  if (!problem.empty()) throw ProjectError(problem);
  // Not blocking, should a pipe take the file's place after the check.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::string why = fd < 0 ? std::strerror(errno) : "not a regular file";
    if (fd >= 0) close(fd);
    throw ProjectError("cannot read " + path + ": " + why);
  }
  std::vector<uint8_t> data(static_cast<size_t>(size));
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string why = n < 0 ? std::strerror(errno) : "the file shrank while it was read";
      close(fd);
      throw ProjectError("cannot read " + path + ": " + why);
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
  seen_.emplace_back(st.st_dev, st.st_ino);
  return data;
}

uint64_t InputFiles::Note(const std::string& path, uint64_t limit) {
  uint64_t size = 0;
  std::string problem = InputProblem(path, limit, &size);
  if (!problem.empty()) throw ProjectError(problem);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) seen_.emplace_back(st.st_dev, st.st_ino);
  return size;
}

bool InputFiles::Holds(const std::string& path) const {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  for (const auto& [dev, ino] : seen_) {
    if (dev == st.st_dev && ino == st.st_ino) return true;
  }
  return false;
}

}  // namespace setup::tools
