// Writing one file entry's contents to a host file with the setup's own code:
// the same reader, volumes, decoder, patches and checks as an installation,
// with the same temporary file beside the target that then takes its place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "tools/pkgtool/package_file.h"

namespace setup::tools {

class EntryWriter {
 public:
  explicit EntryWriter(PackageFile& package) : package_(package) {}

  // Writes `entry` (of the current component) to `target`, replacing a file
  // there. Returns true, or false with a one-line reason in `message`. The
  // package data must be open (BeginPackageData).
  bool Write(const uint8_t* entry, const std::filesystem::path& target, std::string* message);

 private:
  PackageFile& package_;
};

}  // namespace setup::tools
