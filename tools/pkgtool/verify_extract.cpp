// verify and extract: every stored file decoded (or rebuilt from its patch)
// and checked with the setup's own code.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

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
  fs::path target = scratch / "entry";
  EntryWriter writer(package);
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
  EntryWriter writer(package);
  if (made) {
    err << "pkgtool: cannot make the folder " << destination << "\n";
    EndPackageData(context.reader);
    return 1;
  }
  uint32_t done = 0, failed = 0;
  int first = component ? *component : 0;
  int last = component ? *component : context.package.componentCount - 1;
  for (int c = first; c <= last; ++c) {
    SelectComponent(context.package, context.current, c);
    fs::path root = component ? fs::path(destination) : fs::path(destination) / std::to_string(c);
    const uint8_t* entry = context.current.firstEntry;
    for (uint32_t i = 0; i < context.current.fileCount; ++i, entry = NextFileEntry(entry)) {
      ++done;
      const char* name = FileEntryString(entry, ENTRY_NAME);
      if (showProgress) {
        std::fprintf(stderr, "\r\033[K[%u/%u] %.60s", done, total, Windows1252ToUtf8(name).c_str());
        std::fflush(stderr);
      }
      if (EntryPlacement(entry) == PLACE_SOURCE) continue;  // stored nowhere
      std::optional<std::string> relative = ExtractPath(EntryFolderKind(entry), name);
      if (!relative) {
        ++failed;
        err << (showProgress ? "\n" : "") << "FAILED " << EntryLabel(c, i, entry)
            << ": the name leaves the destination folder\n";
        continue;
      }
      fs::path target = root / *relative;
      std::error_code ec;
      fs::create_directories(target.parent_path(), ec);
      std::string message;
      if (ec || !writer.Write(entry, target, &message)) {
        ++failed;
        err << (showProgress ? "\n" : "") << "FAILED " << EntryLabel(c, i, entry) << ": "
            << (ec ? "cannot make folder " + target.parent_path().string() : message) << "\n";
      }
    }
  }
  if (showProgress) std::fprintf(stderr, "\r\033[K");
  EndPackageData(context.reader);
  if (failed != 0) err << failed << " files could not be extracted\n";
  return failed == 0 ? 0 : 1;
}

}  // namespace setup::tools
