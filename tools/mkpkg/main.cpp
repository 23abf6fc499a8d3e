// mkpkg: builds a setup file from a project file and the setup program.
//
//   mkpkg PROJECT.json [--stub setup.exe] -o SETUP.EXE
//
// Without --stub, the setup program is looked for beside mkpkg, in
// ../share/setup/ from it, then at the prefix mkpkg was built to be installed
// in (PREFIX/share/setup/setup.exe).
//
// Exit codes: 0 built, 1 the project cannot be built (nothing is written),
// 2 usage error.
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tools/mkpkg/package_builder.h"
#include "tools/mkpkg/project_reader.h"

#ifndef SETUP_VERSION
#define SETUP_VERSION "0"
#endif
#ifndef SETUP_INSTALLED_STUB
#define SETUP_INSTALLED_STUB ""
#endif

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: mkpkg PROJECT.json [--stub setup.exe] -o SETUP.EXE\n"
    "       mkpkg --help | --version\n"
    "Builds a setup file (and its volume files, if the project has a volumeSize)\n"
    "from a JSON project and the setup program. Without --stub the setup program\n"
    "is taken from beside mkpkg or from where mkpkg was installed.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "mkpkg: " << problem << "\n";
  std::cerr << kUsage;
  return 2;
}

// The stub shipped with mkpkg: beside the program, or at its install prefix.
std::string DefaultStub() {
  std::vector<fs::path> candidates;
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    candidates.push_back(self.parent_path() / "setup.exe");
    candidates.push_back(self.parent_path().parent_path() / "share" / "setup" / "setup.exe");
  }
  if (*SETUP_INSTALLED_STUB != '\0') candidates.emplace_back(SETUP_INSTALLED_STUB);
  for (const fs::path& p : candidates) {
    if (fs::is_regular_file(p, ec)) return p.string();
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::string project, stub, output;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--version") {
      std::cout << "mkpkg " << SETUP_VERSION << "\n";
      return 0;
    }
    if ((a == "-o" || a == "--stub") && i + 1 >= argc) return Usage(a + " needs a value");
    if (a == "-o") output = argv[++i];
    else if (a == "--stub") stub = argv[++i];
    else if (!a.empty() && a[0] == '-') return Usage("unknown option " + a);
    else if (project.empty()) project = a;
    else return Usage("unexpected argument " + a);
  }
  if (project.empty() || output.empty()) return Usage("");
  if (stub.empty()) {
    stub = DefaultStub();
    if (stub.empty()) return Usage("no setup program beside mkpkg or where it was installed: give --stub");
  }
  try {
    setup::tools::Project p = setup::tools::ReadProject(project);
    std::vector<uint8_t> stubBytes = p.inputs.Read(stub);
    setup::tools::BuiltPackage built = setup::tools::BuildPackage(p, stubBytes);
    std::vector<std::string> removed;
    std::vector<std::string> files = setup::tools::WritePackageFiles(built, output, p.inputs, &removed);
    std::cout << output << ": " << p.components.size() << " components, " << built.storedFiles
              << " files stored, " << built.sharedFiles << " shared, " << built.patches
              << " patches, " << built.regionSize << " bytes of file data";
    if (!built.volumes.empty()) std::cout << " in " << files.size() << " files";
    std::cout << "\n";
    for (const std::string& name : removed) {
      std::cout << name << ": removed, a volume of an earlier build\n";
    }
    return 0;
  } catch (const setup::tools::ProjectError& e) {
    std::cerr << "mkpkg: " << e.what() << "\n";
  } catch (const std::bad_alloc&) {
    std::cerr << "mkpkg: out of memory; nothing was written\n";
  } catch (const fs::filesystem_error& e) {
    std::cerr << "mkpkg: " << e.path1().string() << ": " << e.code().message()
              << "; nothing was written\n";
  } catch (const std::exception&) {
    std::cerr << "mkpkg: the build failed unexpectedly; nothing was written\n";
  }
  return 1;
}
