// pkgtool: reads setup packages on any OS with the setup's own code.
//
//   pkgtool list FILE
//   pkgtool verify FILE
//   pkgtool extract FILE -o DIR [--component N]
//   pkgtool dump FILE
//   pkgtool uninstall-log FILE [--at OFFSET]
//
// Exit codes: 0 success, 1 damaged package or failed check, 2 usage error.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/pkgtool/commands.h"
#include "tools/pkgtool/package_file.h"

#ifndef SETUP_VERSION
#define SETUP_VERSION "0"
#endif

namespace {

const char kUsage[] =
    "usage: pkgtool list FILE\n"
    "       pkgtool verify FILE\n"
    "       pkgtool extract FILE -o DIR [--component N]\n"
    "       pkgtool dump FILE\n"
    "       pkgtool uninstall-log FILE [--at OFFSET]\n"
    "       pkgtool --help | --version\n"
    "Reads a setup file (and its volume files) with the setup's own code.\n"
    "uninstall-log reads an installed uninstaller instead: the log the setup\n"
    "appended to it, found from the file's end, or read at OFFSET (the\n"
    "uninstaller entry's fileSize - 8) when given.\n"
    "Exit codes: 0 success, 1 damaged package or failed check, 2 usage error.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "pkgtool: " << problem << "\n";
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("");
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--version") {
      std::cout << "pkgtool " << SETUP_VERSION << "\n";
      return 0;
    }
  }
  std::string command = args[0];
  std::string file, output;
  std::optional<int> component;
  std::optional<uint64_t> at;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o" && command == "extract") {
      if (++i == args.size()) return Usage("-o needs a folder");
      output = args[i];
    } else if (args[i] == "--component" && command == "extract") {
      if (++i == args.size()) return Usage("--component needs a number");
      const std::string& value = args[i];
      if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos) {
        return Usage("--component needs a component number (0-5)");
      }
      component = std::stoi(value);
    } else if (args[i] == "--at" && command == "uninstall-log") {
      if (++i == args.size()) return Usage("--at needs an offset");
      const std::string& value = args[i];
      if (value.empty() || value.size() > 15 || value.find_first_not_of("0123456789") != std::string::npos) {
        return Usage("--at needs a byte offset in decimal");
      }
      at = std::stoull(value);
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown option " + args[i]);
    } else if (file.empty()) {
      file = args[i];
    } else {
      return Usage("unexpected argument " + args[i]);
    }
  }
  if (command != "list" && command != "verify" && command != "extract" && command != "dump" &&
      command != "uninstall-log") {
    return Usage("unknown command " + command);
  }
  if (file.empty()) return Usage("no setup file given");
  if (command == "extract" && output.empty()) return Usage("extract needs -o DIR");
  if (command == "uninstall-log") {
    return setup::tools::PrintUninstallLog(file, at, std::cout, std::cerr);
  }

  setup::tools::PackageFile package;
  if (!package.Open(file)) {
    std::cerr << "pkgtool: " << package.error() << "\n";
    return 1;
  }
  if (command == "list") return setup::tools::ListPackage(package, std::cout);
  if (command == "verify") return setup::tools::VerifyPackage(package, std::cout, std::cerr);
  if (command == "dump") return setup::tools::DumpPackage(package, std::cout);
  return setup::tools::ExtractPackage(package, output, component, isatty(2) != 0, std::cerr);
}
