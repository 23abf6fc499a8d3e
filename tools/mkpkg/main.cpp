// mkpkg: builds a setup file from a project file and the setup program.
//
//   mkpkg PROJECT.json [--stub setup.exe] [--uninstaller uninstall.exe] [--strict] -o SETUP.EXE
//   mkpkg init DIR [--force]     writes DIR/project.json for the files below DIR
//
// What the setup would do oddly with the project is printed as warnings on
// standard error, each with the field's path; --strict makes them errors.
// Without --stub, the setup program is looked for beside mkpkg, in
// ../share/setup/ from it, then at the prefix mkpkg was built to be installed
// in (PREFIX/share/setup/setup.exe). A project whose component has an
// uninstaller entry but that names no uninstaller image gets the built-in
// uninstaller: --uninstaller, else uninstall.exe beside the setup program,
// then the same places as the setup program.
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
#include "tools/mkpkg/project_init.h"
#include "tools/mkpkg/project_reader.h"
#include "tools/mkpkg/project_warnings.h"

#ifndef SETUP_VERSION
#define SETUP_VERSION "0"
#endif
#ifndef SETUP_INSTALLED_STUB
#define SETUP_INSTALLED_STUB ""
#endif

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: mkpkg PROJECT.json [--stub setup.exe] [--uninstaller uninstall.exe] [--strict]\n"
    "             -o SETUP.EXE\n"
    "       mkpkg init DIR [--force]\n"
    "       mkpkg --help | --version\n"
    "Builds a setup file (and its volume files, if the project has a volumeSize)\n"
    "from a JSON project and the setup program. Without --stub the setup program\n"
    "is taken from beside mkpkg or from where mkpkg was installed; the built-in\n"
    "uninstaller (for an uninstaller entry when the project names no \"uninstaller\")\n"
    "from beside the setup program or the same places. Warnings about what the\n"
    "setup would do oddly go to standard error; --strict makes them errors.\n"
    "init writes DIR/project.json: one component named after DIR, every file\n"
    "below it, the built-in uninstaller; --force replaces an existing project.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "mkpkg: " << problem << "\n";
  std::cerr << kUsage;
  return 2;
}

// A Windows program shipped with mkpkg: beside `first` (when given), beside
// mkpkg, or at its install prefix.
std::string DefaultProgram(const std::string& name, const std::string& first = "") {
  std::vector<fs::path> candidates;
  std::error_code ec;
  if (!first.empty()) candidates.push_back(fs::path(first).parent_path() / name);
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    candidates.push_back(self.parent_path() / name);
    candidates.push_back(self.parent_path().parent_path() / "share" / "setup" / name);
  }
  if (*SETUP_INSTALLED_STUB != '\0') candidates.push_back(fs::path(SETUP_INSTALLED_STUB).parent_path() / name);
  for (const fs::path& p : candidates) {
    if (fs::is_regular_file(p, ec)) return p.string();
  }
  return "";
}

}  // namespace

// mkpkg init DIR [--force]
int Init(int argc, char** argv) {
  std::string folder;
  bool force = false;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--force") force = true;
    else if (!a.empty() && a[0] == '-') return Usage("unknown option " + a);
    else if (folder.empty()) folder = a;
    else return Usage("unexpected argument " + a);
  }
  if (folder.empty()) return Usage("init needs the folder");
  try {
    std::string path = setup::tools::WriteInitialProject(folder, force);
    std::cout << path << ": written; build with: mkpkg \"" << path << "\" -o OUT/SETUP.EXE\n";
    return 0;
  } catch (const setup::tools::ProjectError& e) {
    std::cerr << "mkpkg: " << e.what() << "\n";
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "init") return Init(argc, argv);
  std::string project, stub, uninstaller, output;
  bool strict = false;
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
    if ((a == "-o" || a == "--stub" || a == "--uninstaller") && i + 1 >= argc) {
      return Usage(a + " needs a value");
    }
    if (a == "-o") output = argv[++i];
    else if (a == "--stub") stub = argv[++i];
    else if (a == "--uninstaller") uninstaller = argv[++i];
    else if (a == "--strict") strict = true;
    else if (!a.empty() && a[0] == '-') return Usage("unknown option " + a);
    else if (project.empty()) project = a;
    else return Usage("unexpected argument " + a);
  }
  if (project.empty() || output.empty()) return Usage("");
  if (stub.empty()) {
    stub = DefaultProgram("setup.exe");
    if (stub.empty()) return Usage("no setup program beside mkpkg or where it was installed: give --stub");
  }
  try {
    setup::tools::Project p = setup::tools::ReadProject(project);
    std::vector<std::string> warnings = setup::tools::ProjectWarnings(p);
    for (const std::string& warning : warnings) {
      std::cerr << "mkpkg: " << (strict ? "error" : "warning") << ": " << warning << "\n";
    }
    if (strict && !warnings.empty()) {
      std::cerr << "mkpkg: --strict: " << warnings.size() << " warning" << (warnings.size() > 1 ? "s" : "")
                << " taken as errors; nothing was written\n";
      return 1;
    }
    std::vector<uint8_t> stubBytes = p.inputs.Read(stub);
    if (setup::tools::NeedsBuiltInUninstaller(p)) {
      if (uninstaller.empty()) uninstaller = DefaultProgram("uninstall.exe", stub);
      if (uninstaller.empty()) {
        throw setup::tools::ProjectError("the project's uninstaller entry needs the built-in "
                                         "uninstaller, and none is beside the setup program: give --uninstaller");
      }
      p.uninstallerImage = p.inputs.Read(uninstaller);
      p.builtInUninstaller = true;
    }
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
