// Pattern entries of a file list: {"source": "bin/**/*.dll", "into": "bin",
// "exclude": ["**/*.pdb"]} stands for every regular file below the
// project's folder that the pattern matches. "*" and "?" match within a
// name, "**" any number of folders. Each match is named by its path below
// the pattern's fixed leading folders ("bin/" here), put under "into".
//
// Matches come sorted by that path, byte by byte, so that builds are
// reproducible. Folders reached through links are not entered, and a link
// to a file counts only when the file lies inside the project's folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace setup::tools {

struct SourceMatch {
  std::string source;    // relative to the project's folder, "/" separators
  std::string relative;  // below the pattern's fixed folders, "/" separators
};

bool IsSourcePattern(const std::string& source);

// Every match, sorted; an empty list when nothing matches. "/" and "\"
// separate folders in the patterns alike.
std::vector<SourceMatch> ExpandSourcePattern(const std::filesystem::path& projectFolder,
                                             const std::string& pattern,
                                             const std::vector<std::string>& excludes);

}  // namespace setup::tools
