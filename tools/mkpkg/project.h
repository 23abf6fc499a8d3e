// A package project as mkpkg builds it: settings, texts, pictures, dialog
// templates and up to six components with their files and lists. It is read
// from a JSON project file (project_reader.h) and written out by the package
// builder (package_builder.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/mkpkg/input_files.h"
#include "tools/mkpkg/default_texts.h"
#include "tools/streamwriter/stream_writer.h"

namespace setup::tools {

struct VersionInfo {
  uint32_t fileVersionMS = 0;
  uint32_t fileVersionLS = 0;
  uint32_t productVersionMS = 0;
  uint32_t productVersionLS = 0;
  uint32_t language = 0;
};

// FILETIME values (100-ns ticks since 1601).
struct FileTimes {
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t lastWrite = 0;
};

struct PatchBaseRef {
  int component = 0;
  int index = 0;  // position of the base entry in that component's list
};

struct FileSpec {
  std::string source;    // host path of the contents (for a source-placed file: optional)
  std::string name;      // name below the target folder, "\" separators
  uint8_t folderKind = 0;
  uint8_t placement = 1;
  uint8_t finishRole = 0;
  uint8_t specialKind = 0;
  bool shared = false;
  uint16_t iconIndex = 0;
  std::string shortcutFolder, shortcutName, shortcutArgs;
  std::string desktopName, desktopArgs;
  bool checkVersion = false;
  bool checkLanguage = false;
  VersionInfo version;
  std::optional<FileTimes> times;
  bool uninstaller = false;
  std::optional<PatchBaseRef> patchFrom;

  // Filled when the project is read: the host path of the contents and their
  // size. The contents are read only while the package is built, one file at
  // a time.
  std::string path;
  uint64_t size = 0;
};

struct IniSpec {
  bool onlyIfMissing = false;
  std::string file, section, key, value;
};

struct RegistrySpec {
  uint32_t root = 1;
  bool keepExisting = false;
  std::string key, valueName, data;
};

struct FilePatchSpec {
  int32_t offset = -1;
  std::string file, text;
  std::vector<uint8_t> pattern;
};

struct ComponentSpec {
  uint16_t options = 0;
  std::optional<std::string> displayName, choiceLabel, defaultFolder;
  uint32_t folderRootKey = 1;
  std::optional<std::string> folderRegKey, folderRegValue;
  std::optional<std::string> folderIniFile, folderIniSection, folderIniKey;
  StringGroups strings;
  std::vector<FileSpec> files;
  std::vector<IniSpec> ini;
  std::vector<RegistrySpec> registry;
  std::vector<FilePatchSpec> filePatches;
};

struct Project {
  uint32_t settings = 0;
  std::optional<std::pair<uint16_t, uint16_t>> start;  // page, component
  std::optional<std::string> title;
  std::optional<std::vector<uint8_t>> titleFont;        // a 60-byte LOGFONTA
  std::optional<std::vector<uint8_t>> wizardBitmap;
  std::optional<std::vector<uint8_t>> backgroundBitmap;
  std::optional<std::vector<uint8_t>> uninstallerImage;
  // The image is our own uninstall.exe (the project named none): its entry
  // must lie in the destination folder's root, and an entry without a
  // source gets the uninstaller's texts as its data.
  bool builtInUninstaller = false;
  std::vector<std::string> uninstallerStrings;  // by index; empty: the default
  std::vector<std::vector<uint8_t>> dialogTemplates;    // encoded, numbers 0-9
  std::vector<ComponentSpec> components;
  uint64_t volumeSize = 0;                               // 0: everything in the setup file
  StreamOptions compression;
  InputFiles inputs;                                     // every file read for the project
};

}  // namespace setup::tools
