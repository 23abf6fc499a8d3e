// verify and extract: every stored file decoded (or rebuilt from its patch)
// and checked with the setup's own code.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <unordered_set>
#include <vector>

#include "package/component.h"
#include "package/file_entry.h"
#include "tools/common/windows1252.h"
#include "tools/pkgtool/commands.h"
#include "tools/pkgtool/describe.h"
#include "tools/pkgtool/entry_writer.h"

namespace fs = std::filesystem;

namespace setup::tools {

namespace {

std::string EntryLabel(int component, uint32_t index, const uint8_t* entry) {
  return "component " + std::to_string(component) + " file " + std::to_string(index) + " " +
         Quoted(FileEntryString(entry, ENTRY_NAME));
}

uint32_t TotalEntries(SetupContext& context) {
  uint32_t total = 0;
  for (int c = 0; c < context.package.componentCount; ++c) {
    SelectComponent(context.package, context.current, c);
    total += context.current.fileCount;
  }
  return total;
}

}  // namespace

int VerifyPackage(PackageFile& package, std::ostream& out, std::ostream& err) {
  SetupContext& context = package.context();
  if (BeginPackageData(context) != 0) {
    err << "pkgtool: cannot open the package data\n";
    return 1;
  }
  std::string pattern = (fs::temp_directory_path() / "pkgtool-verify-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    err << "pkgtool: cannot make a scratch folder\n";
    EndPackageData(context.reader);
    return 1;
  }
  fs::path scratch = pattern;
  fs::path target = scratch / "checked";
  EntryWriter writer(package, scratch);
  uint32_t checked = 0, failed = 0, skipped = 0;
  for (int c = 0; c < context.package.componentCount; ++c) {
    SelectComponent(context.package, context.current, c);
    const uint8_t* entry = context.current.firstEntry;
    for (uint32_t i = 0; i < context.current.fileCount; ++i, entry = NextFileEntry(entry)) {
      if (EntryPlacement(entry) == PLACE_SOURCE) {
        ++skipped;
        continue;
      }
      std::string message;
      if (writer.Write(entry, target, &message)) {
        ++checked;
      } else {
        ++failed;
        err << "FAILED " << EntryLabel(c, i, entry) << ": " << message << "\n";
      }
      std::error_code ec;
      fs::remove(target, ec);
    }
  }
  std::error_code removed;
  fs::remove_all(scratch, removed);
  EndPackageData(context.reader);
  out << checked << " files verified, " << failed << " failed, " << skipped
      << " taken from the source folder\n";
  return failed == 0 ? 0 : 1;
}

namespace {

// The longest path Windows takes, and the shortest folder a name can be
// installed in ("C:\\").
constexpr size_t kWindowsMaxPath = 259;
constexpr size_t kShortestFolder = 3;

// Whether `path` (which exists) lies inside `root`, links resolved.
bool Inside(const fs::path& path, const fs::path& root) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  if (ec) return false;
  fs::path r = fs::canonical(root, ec);
  if (ec) return false;
  auto [end, ignored] = std::mismatch(r.begin(), r.end(), real.begin(), real.end());
  return end == r.end();
}

// Whether `folder` lies inside the destination through real folders only,
// below a folder already found inside it: then its path need not be
// resolved. The folders on the way are added to `inside`.
bool InsideKnownFolder(const fs::path& folder, std::unordered_set<std::string>& inside) {
  std::vector<fs::path> chain;
  fs::path at = folder;
  while (!inside.count(at.native())) {
    fs::path parent = at.parent_path();
    if (parent.empty() || parent == at) return false;
    chain.push_back(at);
    at = parent;
  }
  for (const fs::path& step : chain) {
    std::error_code ec;
    if (fs::symlink_status(step, ec).type() != fs::file_type::directory) return false;
  }
  for (const fs::path& step : chain) inside.insert(step.native());
  return true;
}

// An earlier entry of the component that was given the same extract path.
struct Landed {
  uint32_t index;
  const uint8_t* entry;
};

}  // namespace

int ExtractPackage(PackageFile& package, const std::string& destination,
                   std::optional<int> component, bool showProgress, std::ostream& err) {
  SetupContext& context = package.context();
  if (component && (*component < 0 || *component >= context.package.componentCount)) {
    err << "pkgtool: the package has no component " << *component << " (it has "
        << context.package.componentCount << ")\n";
    return 1;
  }
  if (BeginPackageData(context) != 0) {
    err << "pkgtool: cannot open the package data\n";
    return 1;
  }
  uint32_t total = component ? 0 : TotalEntries(context);
  if (component) {
    SelectComponent(context.package, context.current, *component);
    total = context.current.fileCount;
  }
  std::error_code made;
  fs::create_directories(destination, made);
  std::string pattern = (fs::path(destination) / ".pkgtool-XXXXXX").string();
  if (made || mkdtemp(pattern.data()) == nullptr) {
    err << "pkgtool: cannot make the folder " << PrintablePath(destination) << "\n";
    EndPackageData(context.reader);
    return 1;
  }
  fs::path scratch = pattern;
  EntryWriter writer(package, scratch);
  uint32_t done = 0, failed = 0;
  std::unordered_set<std::string> inside;  // folders found inside the destination
  inside.insert(fs::path(destination).native());
  int first = component ? *component : 0;
  int last = component ? *component : context.package.componentCount - 1;
  // Labels are made only for failures: most entries never need one.
  int c = 0;
  uint32_t i = 0;
  const uint8_t* entry = nullptr;
  auto fail = [&](const std::string& why) {
    ++failed;
    err << (showProgress ? "\n" : "") << "FAILED " << EntryLabel(c, i, entry) << ": " << why << "\n";
  };
  for (c = first; c <= last; ++c) {
    SelectComponent(context.package, context.current, c);
    fs::path root = component ? fs::path(destination) : fs::path(destination) / std::to_string(c);
    std::map<std::string, Landed> landed;
    entry = context.current.firstEntry;
    for (i = 0; i < context.current.fileCount; ++i, entry = NextFileEntry(entry)) {
      ++done;
      const char* name = FileEntryString(entry, ENTRY_NAME);
      if (showProgress) {
        std::fprintf(stderr, "\r\033[K[%u/%u] %s", done, total, PrintablePrefix(name, 60).c_str());
        std::fflush(stderr);
      }
      if (EntryPlacement(entry) == PLACE_SOURCE) continue;  // stored nowhere
      std::optional<std::string> relative = ExtractPath(EntryFolderKind(entry), name);
      if (!relative) {
        fail("the name leaves the destination folder");
        continue;
      }
      size_t length = std::strlen(name);
      if (length + kShortestFolder > kWindowsMaxPath) {
        fail("the name is " + std::to_string(length) + " bytes long; even in " +
             "C:\\ its path would be " + std::to_string(length + kShortestFolder) +
             " bytes, longer than Windows allows (" + std::to_string(kWindowsMaxPath) + ")");
        continue;
      }
      // Entries of one folder under one name replace each other, as in an
      // installation; entries of different folders that the layout puts on
      // one path would lose a file without a word.
      auto [at, fresh] = landed.try_emplace(*relative, Landed{i, entry});
      if (!fresh && EntryFolderKind(at->second.entry) != EntryFolderKind(entry)) {
        fail("lands on the same path, " + PrintablePath(*relative) + ", as " +
             EntryLabel(c, at->second.index, at->second.entry) + " of another folder");
        continue;
      }
      fs::path target = root / *relative;
      fs::path folder = target.parent_path();
      if (!inside.count(folder.native())) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
          fail("cannot make folder " + PrintablePath(folder.string()) + ": " + ec.message());
          continue;
        }
        if (!InsideKnownFolder(folder, inside) && !Inside(folder, destination)) {
          fail("the folder " + PrintablePath(folder.string()) +
               " leads outside the destination (a link)");
          continue;
        }
        inside.insert(folder.native());
      }
      std::string message;
      if (!writer.Write(entry, target, &message)) fail(message);
    }
  }
  if (showProgress) std::fprintf(stderr, "\r\033[K");
  EndPackageData(context.reader);
  std::error_code removed;
  fs::remove_all(scratch, removed);
  if (failed != 0) err << failed << " files could not be extracted\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace setup::tools
