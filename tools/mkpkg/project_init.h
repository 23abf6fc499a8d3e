// `mkpkg init DIR`: a first project for the files below DIR, so that a
// vendor starts from a package that builds: one component named after the
// folder, installed to "#Program Files#\<name>", one pattern entry for the
// whole tree (the project file itself left out), and the built-in
// uninstaller in the destination folder's root.
#pragma once

#include <string>

namespace setup::tools {

constexpr const char* kProjectFileName = "project.json";

// The project's JSON text for a product called `name`.
std::string InitialProject(const std::string& name);

// Writes DIR/project.json; refuses (ProjectError) a DIR that is no folder,
// and an existing project unless `force`. Returns the project's path.
std::string WriteInitialProject(const std::string& folder, bool force);

}  // namespace setup::tools
