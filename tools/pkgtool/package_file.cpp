#include "tools/pkgtool/package_file.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/bytes.h"
#include "package/stub_patch.h"
#include "session/load_package.h"

namespace setup::tools {

std::optional<uint32_t> FindStubSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  uint64_t fileSize = static_cast<uint64_t>(in.tellg());
  in.seekg(0);
  // The block lies inside the stub, which is small; read the first 4 MiB.
  std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(fileSize, 4u << 20)));
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  for (size_t i = 0; i + kPatchBlockSize <= head.size(); ++i) {
    if (std::memcmp(head.data() + i, kPatchMarker, sizeof kPatchMarker) != 0) continue;
    uint32_t stub = ReadU32(head.data() + i + kPatchStubSizeOffset);
    if (stub == 0) return 0u;
    if (stub >= i + kPatchBlockSize && stub <= fileSize) return stub;
  }
  return std::nullopt;
}

PackageFile::PackageFile() : context_(std::make_unique<SetupContext>(platform_)) {}

PackageFile::~PackageFile() {
  if (loaded_) FreePackage(*context_);
  EndPackageData(context_->reader);
}

bool PackageFile::Open(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error_ = path + ": " + (std::filesystem::exists(path, ec) ? "not a file" : "no such file");
    return false;
  }
  std::optional<uint32_t> stub = FindStubSize(path);
  if (!stub) {
    error_ = path + ": not a setup file (no stub patch block found)";
    return false;
  }
  if (*stub == 0) {
    error_ = path + ": the setup file carries no package";
    return false;
  }
  if (path.size() >= kPathSize) {
    error_ = path + ": path too long";
    return false;
  }
  ToEnginePath(path.c_str(), context_->packagePath, kPathSize);
  context_->stubSize = *stub;
  loaded_ = true;
  if (LoadPackage(*context_) != 1) {
    error_ = path + ": the package is truncated, incomplete or damaged";
    return false;
  }
  return true;
}

}  // namespace setup::tools
