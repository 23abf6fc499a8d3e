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
#include <string>
#include <vector>

#include "tools/mkpkg/project.h"

namespace setup::tools {

struct BuiltPackage {
  std::vector<uint8_t> setupFile;
  std::vector<std::vector<uint8_t>> volumes;  // .D01, .D02, ...
  uint64_t regionSize = 0;
  uint32_t storedFiles = 0;                   // distinct data stored
  uint32_t sharedFiles = 0;                   // entries that reuse stored data
  uint32_t patches = 0;
};

// Throws ProjectError when the project cannot be built (a patch whose base is
// missing, a stub without its patch block, a volume size too small...).
BuiltPackage BuildPackage(const Project& project, const std::vector<uint8_t>& stub);

// Writes the setup file and its volumes (named as the setup names them),
// replacing older ones; on failure nothing new is left behind.
std::vector<std::string> WritePackageFiles(const BuiltPackage& package, const std::string& path);

// The pieces, for tests and other writers.
std::vector<uint8_t> EncodeDescriptor(const ComponentSpec& component);
std::vector<uint8_t> EncodeDataItem(const std::vector<uint8_t>& data, const StreamOptions& options);
std::vector<uint8_t> PatchStubSize(std::vector<uint8_t> stub);

}  // namespace setup::tools
