// Opening a setup file for the tools: finding the stub size in the stub's
// patch block and loading the package with the setup's own loader.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/host/host_platform.h"
#include "session/setup_context.h"

namespace setup::tools {

// Finds the patch block in the first part of a setup file and returns the stub
// size it records; nullopt when there is no block, 0 when the file carries no
// package.
std::optional<uint32_t> FindStubSize(const std::string& path);

class PackageFile {
 public:
  PackageFile();
  ~PackageFile();
  // Loads the package; false with a message in error() when it cannot.
  bool Open(const std::string& path);
  const std::string& error() const { return error_; }

  SetupContext& context() { return *context_; }
  HostPlatform& platform() { return platform_; }

 private:
  HostPlatform platform_;
  std::unique_ptr<SetupContext> context_;
  bool loaded_ = false;
  std::string error_;
};

}  // namespace setup::tools
