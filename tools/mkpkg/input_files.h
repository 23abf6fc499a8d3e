// Reading mkpkg's inputs (the project file, the stub, every source) and
// remembering which files they were, so that no output can replace one.
//
// An input must be a regular file: a folder has no contents, and a named pipe
// or a device (/dev/zero) could block or never end. Its size is checked
// before anything is read, so a file too large for a package costs nothing.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace setup::tools {

// The largest file a package can hold (sizes are 32-bit, less some room).
constexpr uint64_t kMaxInputSize = 0xFFFFFFF0u;

// Identities (device, inode) of every file read so far.
class InputFiles {
 public:
  // Reads `path` whole. Throws ProjectError "cannot read PATH: why" when it is missing,
  // not a regular file or unreadable, "file too large: PATH ..." past `limit`.
  std::vector<uint8_t> Read(const std::string& path, uint64_t limit = kMaxInputSize);
  // The same checks without reading: notes the file and returns its size.
  uint64_t Note(const std::string& path, uint64_t limit = kMaxInputSize);
  // Whether `path` (if it exists, links followed) is one of the files read.
  bool Holds(const std::string& path) const;
  // Takes in the files `other` has read.
  void Add(const InputFiles& other) { seen_.insert(seen_.end(), other.seen_.begin(), other.seen_.end()); }

 private:
  std::vector<std::pair<dev_t, ino_t>> seen_;
};

// Why `path` cannot be read as an input, or "" when it can; `size` gets its size.
std::string InputProblem(const std::string& path, uint64_t limit, uint64_t* size);

}  // namespace setup::tools
