// Writing one file entry's contents to a host file with the setup's own code:
// the same reader, volumes, decoder, patches and checks as an installation.
//
// The setup's temporary files (".$$A", and ".$AA" for a patch) are made in a
// private scratch folder that the caller creates (mkdtemp: a new folder only
// we can write to), never beside the target: a link planted where the setup
// would put its temporary cannot redirect the write, and a name as long as the
// host allows leaves room for none of the setup's extensions. The finished
// file is then renamed onto the target, which replaces a link there instead of
// following it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "tools/pkgtool/package_file.h"

namespace setup::tools {

class EntryWriter {
 public:
  // `scratch` must be on the file system of the targets.
  EntryWriter(PackageFile& package, std::filesystem::path scratch)
      : package_(package), scratch_(std::move(scratch)) {}

  // Writes `entry` (of the current component) to `target`, replacing a file
  // there. Returns true, or false with a one-line reason in `message`. The
  // package data must be open (BeginPackageData).
  bool Write(const uint8_t* entry, const std::filesystem::path& target, std::string* message);

 private:
  std::string Describe(int error, const uint8_t* entry, const std::filesystem::path& target);

  PackageFile& package_;
  std::filesystem::path scratch_;
};

}  // namespace setup::tools
