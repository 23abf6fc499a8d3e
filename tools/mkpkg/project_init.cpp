#include "tools/mkpkg/project_init.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tools/mkpkg/project_reader.h"

namespace setup::tools {

namespace fs = std::filesystem;

std::string InitialProject(const std::string& name) {
  nlohmann::ordered_json file0 = {{"name", "uninstall.exe"}, {"uninstaller", true}};
  nlohmann::ordered_json tree = {{"source", "**"}, {"exclude", {kProjectFileName}}};
  nlohmann::ordered_json component = {{"displayName", name},
                                      {"defaultFolder", "#Program Files#\\" + name},
                                      {"files", {file0, tree}}};
  nlohmann::ordered_json project = {{"title", name}, {"components", {component}}};
  return project.dump(2) + "\n";
}

std::string WriteInitialProject(const std::string& folder, bool force) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw ProjectError(folder + ": not a folder");
  fs::path path = fs::path(folder) / kProjectFileName;
  if (fs::exists(fs::symlink_status(path, ec)) && !force) {
    throw ProjectError(path.string() + ": a project is there already; --force replaces it");
  }
  std::string name = fs::weakly_canonical(fs::absolute(folder), ec).filename().string();
  if (name.empty()) name = "Product";
  std::string text = InitialProject(name);
  fs::path temporary = path.string() + ".mkpkg-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw ProjectError(path.string() + ": cannot write it");
  }
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw ProjectError(path.string() + ": cannot write it");
  }
  return path.string();
}

}  // namespace setup::tools
