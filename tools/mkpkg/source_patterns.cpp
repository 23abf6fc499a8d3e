#include "tools/mkpkg/source_patterns.h"

#include <fnmatch.h>

#include <algorithm>

namespace setup::tools {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Parts(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path + "/") {
    if (c == '/' || c == '\\') {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  return parts;
}

bool HasWildcard(const std::string& part) { return part.find_first_of("*?[") != std::string::npos; }

// Whether path parts s[j...] match pattern parts p[i...]; "**" takes any
// number of parts.
bool Match(const std::vector<std::string>& p, size_t i, const std::vector<std::string>& s, size_t j) {
  if (i == p.size()) return j == s.size();
  if (p[i] == "**") {
    for (size_t k = j; k <= s.size(); ++k) {
      if (Match(p, i + 1, s, k)) return true;
    }
    return false;
  }
  return j < s.size() && fnmatch(p[i].c_str(), s[j].c_str(), 0) == 0 && Match(p, i + 1, s, j + 1);
}

bool Inside(const fs::path& path, const fs::path& folder) {
  auto [end, _] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end();
}

}  // namespace

bool IsSourcePattern(const std::string& source) { return HasWildcard(source); }

std::vector<SourceMatch> ExpandSourcePattern(const fs::path& projectFolder, const std::string& pattern,
                                             const std::vector<std::string>& excludes) {
  std::vector<std::string> parts = Parts(pattern);
  size_t fixedCount = 0;
  while (fixedCount < parts.size() && !HasWildcard(parts[fixedCount])) ++fixedCount;
  fs::path fixed;
  for (size_t i = 0; i < fixedCount; ++i) fixed /= parts[i];
  std::vector<std::string> rest(parts.begin() + static_cast<long>(fixedCount), parts.end());
  std::vector<std::vector<std::string>> excluded;
  for (const std::string& e : excludes) excluded.push_back(Parts(e));

  std::error_code ec;
  fs::path root = fs::weakly_canonical(projectFolder, ec);
  fs::path start = projectFolder / fixed;
  std::vector<SourceMatch> matches;
  if (!fs::is_directory(start, ec) || fs::is_symlink(start, ec)) return matches;
  for (fs::recursive_directory_iterator it(start, fs::directory_options::skip_permission_denied, ec), end;
       it != end; it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    if (!entry.is_regular_file(ec)) continue;  // follows a link to see what it is
    if (entry.is_symlink(ec) && !Inside(fs::weakly_canonical(entry.path(), ec), root)) continue;
    std::string relative = entry.path().lexically_relative(start).generic_string();
    std::vector<std::string> path = Parts(relative);
    if (!Match(rest, 0, path, 0)) continue;
    if (std::any_of(excluded.begin(), excluded.end(),
                    [&](const std::vector<std::string>& e) { return Match(e, 0, path, 0); })) {
      continue;
    }
    matches.push_back({(fixed / relative).generic_string(), relative});
  }
  std::sort(matches.begin(), matches.end(),
            [](const SourceMatch& a, const SourceMatch& b) { return a.relative < b.relative; });
  return matches;
}

}  // namespace setup::tools
