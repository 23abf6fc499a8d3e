// Installs component 0 of a setup file into a folder through the install
// engine, as the setup's progress page would, with nobody asked anything: the
// engine's side of bench/extract_bench.sh.
//
//   install_bench SETUP.EXE FOLDER
//
// Exit 0 when the run installed everything; otherwise the run's result and
// setup error are printed and the exit code is 1.
#include <cstdio>
#include <filesystem>
#include <string>

#include "install/unattended_install.h"
#include "package/component.h"
#include "platform/host/host_platform.h"
#include "session/load_package.h"
#include "tools/pkgtool/package_file.h"

using namespace setup;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: install_bench SETUP.EXE FOLDER\n");
    return 2;
  }
  std::optional<uint32_t> stub = tools::FindStubSize(argv[1]);
  std::error_code ec;
  std::filesystem::create_directories(argv[2], ec);
  std::string folder = std::filesystem::absolute(argv[2], ec).string() + "/";
  std::string package = std::filesystem::absolute(argv[1], ec).string();
  if (!stub || *stub == 0 || package.size() >= kPathSize || folder.size() >= kPathSize) {
    std::fprintf(stderr, "install_bench: %s is no setup file with a package\n", argv[1]);
    return 1;
  }
  HostPlatform host;
  AnsweringPlatform answers(host, nullptr, 0, nullptr);
  SetupContext context(answers);
  answers.Follow(context.run);
  ToEnginePath(package.c_str(), context.packagePath, kPathSize);
  context.stubSize = *stub;
  if (LoadPackage(context) != 1) {
    std::fprintf(stderr, "install_bench: the package of %s cannot be loaded\n", argv[1]);
    return 1;
  }
  SelectComponent(context.package, context.current, 0);
  ToEnginePath(folder.c_str(), context.current.destinationFolder, kPathSize);
  UnattendedResult result = RunUnattendedInstall(context, answers);
  FreePackage(context);
  if (result != UNATTENDED_DONE) {
    std::fprintf(stderr, "install_bench: the run ended with result %d, setup error %d (%s)\n",
                 result, context.run.error.number, context.run.error.subject);
    return 1;
  }
  return 0;
}
