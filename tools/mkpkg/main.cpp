// mkpkg: builds a setup file from a project file and the setup program.
//
//   mkpkg PROJECT.json --stub setup.exe -o SETUP.EXE
//
// Exit codes: 0 built, 1 the project cannot be built (nothing is written),
// 2 usage error.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/mkpkg/package_builder.h"
#include "tools/mkpkg/project_reader.h"

namespace {

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "mkpkg: " << problem << "\n";
  std::cerr << "usage: mkpkg PROJECT.json --stub setup.exe -o SETUP.EXE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string project, stub, output;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "-o" || a == "--stub") && i + 1 >= argc) return Usage(a + " needs a value");
    if (a == "-o") output = argv[++i];
    else if (a == "--stub") stub = argv[++i];
    else if (!a.empty() && a[0] == '-') return Usage("unknown option " + a);
    else if (project.empty()) project = a;
    else return Usage("unexpected argument " + a);
  }
  if (project.empty() || stub.empty() || output.empty()) return Usage("");
  try {
    std::ifstream in(stub, std::ios::binary);
    if (!in) throw setup::tools::ProjectError(stub + ": cannot read the setup program");
    std::vector<uint8_t> stubBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    setup::tools::Project p = setup::tools::ReadProject(project);
    setup::tools::BuiltPackage built = setup::tools::BuildPackage(p, stubBytes);
    std::vector<std::string> files = setup::tools::WritePackageFiles(built, output);
    std::cout << output << ": " << p.components.size() << " components, " << built.storedFiles
              << " files stored, " << built.sharedFiles << " shared, " << built.patches
              << " patches, " << built.regionSize << " bytes of file data";
    if (!built.volumes.empty()) std::cout << " in " << files.size() << " files";
    std::cout << "\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "mkpkg: " << e.what() << "\n";
    return 1;
  }
}
