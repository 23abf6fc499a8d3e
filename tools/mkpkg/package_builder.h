// Writing a package: the stub with its size recorded, the record stream, and
// the file-data region, split into volume files when the project asks.
//
// Conventions kept here (readers must not depend on them): files with the
// same contents are stored once; the end record's length field is never 0;
// an uninstaller entry's fileSize counts the image and its data, its checksum
// is 0; a file taken from the source folder stores nothing (offset 0, size 0);
// a patch entry's storedSize counts both its data items; a data item of size 0
// has no compressed-length field.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/mkpkg/project.h"

namespace setup::tools {

// One file to write: `head`, then `length` bytes of the region from `offset`.
struct OutputFile {
  std::vector<uint8_t> head;
  uint64_t offset = 0;
  uint64_t length = 0;
};

struct BuiltPackage {
  OutputFile setupFile;                     // the stub, the records, the region's start
  std::vector<OutputFile> volumes;          // .D01, .D02, ...
  std::shared_ptr<std::FILE> region;        // the file-data region, in a scratch file
  uint64_t regionSize = 0;
  uint32_t storedFiles = 0;                   // distinct data stored
  uint32_t sharedFiles = 0;                   // entries that reuse stored data
  uint32_t patches = 0;
};

// Throws ProjectError when the project cannot be built (a patch whose base is
// missing, a stub without its patch block, a volume size too small...).
BuiltPackage BuildPackage(const Project& project, const std::vector<uint8_t>& stub);

// Whether a component has an uninstaller entry while the project names no
// uninstaller image: the built-in one is then to be set in.
bool NeedsBuiltInUninstaller(const Project& project);

// Writes the setup file and its volumes (named as the setup names them),
// replacing older ones and removing older volumes beyond the new ones (their
// names go to `removed`). No output may be one of `inputs`. All or nothing:
// on failure the earlier build is left as it was and nothing new remains.
std::vector<std::string> WritePackageFiles(const BuiltPackage& package, const std::string& path,
                                           const InputFiles& inputs,
                                           std::vector<std::string>* removed);

// The pieces, for tests and other writers.
std::vector<uint8_t> EncodeDescriptor(const ComponentSpec& component);
std::vector<uint8_t> EncodeDataItem(const std::vector<uint8_t>& data, const StreamOptions& options);
std::vector<uint8_t> PatchStubSize(std::vector<uint8_t> stub);

}  // namespace setup::tools
