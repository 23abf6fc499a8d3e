#include "tools/mkpkg/project_warnings.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "tools/mkpkg/input_files.h"

namespace setup::tools {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Programs Windows starts by their name alone.
bool IsProgram(const std::string& name) {
  std::string lower = Lower(name);
  for (const char* extension : {".exe", ".com", ".bat", ".cmd", ".pif"}) {
    size_t n = std::string(extension).size();
    if (lower.size() > n && lower.compare(lower.size() - n, n, extension) == 0) return true;
  }
  return false;
}

// A version resource names itself in UTF-16: "VS_VERSION_INFO".
bool HasVersionInformation(const std::vector<uint8_t>& data) {
  static const std::string kKey = [] {
    std::string key;
    for (char c : std::string("VS_VERSION_INFO")) key += {c, '\0'};
    return key;
  }();
  return std::search(data.begin(), data.end(), kKey.begin(), kKey.end()) != data.end();
}

}  // namespace

std::vector<std::string> ProjectWarnings(const Project& project) {
  std::vector<std::string> warnings;
  bool anyUninstaller = false;
  std::map<std::string, size_t> names;  // display name (any case) -> first component
  for (size_t c = 0; c < project.components.size(); ++c) {
    const ComponentSpec& component = project.components[c];
    std::string where = "components[" + std::to_string(c) + "]";
    if (component.displayName && !component.displayName->empty()) {
      auto [it, first] = names.emplace(Lower(*component.displayName), c);
      if (!first) {
        warnings.push_back(where + ".displayName: \"" + *component.displayName + "\" is also the name of components[" +
                           std::to_string(it->second) + "]; removing earlier installations then runs the " +
                           "other component's uninstaller for this one too, and both share one uninstall key");
      }
    }
    for (size_t i = 0; i < component.files.size(); ++i) {
      const FileSpec& file = component.files[i];
      std::string at = where + ".files[" + std::to_string(i) + "]";
      anyUninstaller = anyUninstaller || file.uninstaller;
      if (file.placement == PLACE_SOURCE) {
        for (const auto& [kind, name] : {std::pair<const char*, const std::string*>{"shortcut", &file.shortcutName},
                                         {"desktop", &file.desktopName}}) {
          if (!name->empty()) {
            warnings.push_back(at + "." + kind + ": the shortcut points at \"" + file.name +
                               "\", which is not installed but taken from beside the setup file; it "
                               "breaks when the package's medium is gone");
          }
        }
      }
      if (file.finishRole == ROLE_PROGRAM && !IsProgram(file.name)) {
        warnings.push_back(at + ".role: \"" + file.name + "\" is not a program (.exe, .com, .bat, .cmd, "
                           ".pif); Windows will not start it after setup");
      }
      if (file.checkVersion && !file.path.empty()) {
        InputFiles input;
        if (!HasVersionInformation(input.Read(file.path))) {
          warnings.push_back(at + ".checkVersion: " + file.path + " has no version information; the setup "
                             "compares the project's \"version\" with whatever the machine's copy has");
        }
      }
    }
  }
  if (!anyUninstaller) {
    warnings.push_back("components: no component has an uninstaller entry (\"uninstaller\": true); the "
                       "product cannot be removed, and nothing is registered with Windows");
  }
  return warnings;
}

}  // namespace setup::tools
