#include "paths/initial_folders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "paths/path_folders.h"
#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

constexpr const char kAppKey[] = "Software\\Maker\\App";

class InitialFolderTest : public ::testing::TestWithParam<bool> {
 protected:
  InitialFolderTest() {
    sim.AddDrive('C', 1 << 24);
    sim.windowsNt = GetParam();
    sim.AddFolder("C:\\WINDOWS\\SYSTEM");
    sim.AddFolder("C:\\Old App");
    sim.AddFolder("C:\\Program Files\\Long Name Folder");
    sim.SetRegistryString(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                          "ProgramFilesDir", "C:\\Program Files");
    sim.currentFolder = "C:\\WINDOWS";
    std::memset(&d, 0, sizeof d);
  }

  std::string Find(const char* start = "") {
    char folder[260];
    std::strcpy(folder, start);
    FindInitialFolder(sim, "C:\\SETUP.EXE", d, folder);
    EXPECT_EQ(sim.OpenKeyCount(), 0u);
    EXPECT_EQ(sim.OutstandingBlocks(), 0u);
    // Looking at folders never moves the current folder.
    EXPECT_EQ(sim.currentFolder, "C:\\WINDOWS");
    return folder;
  }

  SimPlatform sim;
  ComponentDescriptor d;
};

// Registry and INI folders, each a whole scenario: what is stored, and the
// folder the component starts with.
TEST_P(InitialFolderTest, FromTheRegistryOrIniOrTheDefault) {
  struct Row {
    const char* stored;      // registry value (null: none)
    const char* ini;         // INI line value (null: no INI file entry)
    const char* defaultFolder;
    const char* expected;
  };
  const Row rows[] = {
      // Cut back to the longest existing prefix, then the stored case.
      {"C:\\old app\\Data", nullptr, "#Program Files#\\App", "C:\\Old App"},
      {"C:\\OLD APP\\", nullptr, nullptr, "C:\\Old App"},
      {"C:\\PROGRA~1\\LONGNA~1\\", nullptr, nullptr, "C:\\Program Files\\Long Name Folder"},
      {"Q:\\Gone", nullptr, "#Program Files#\\App", ""},
      // No value: the default, expanded.
      {nullptr, nullptr, "#Program Files#\\App", "C:\\Program Files\\App"},
      {"", nullptr, "#Windows#", "C:\\WINDOWS"},
      // The INI file when the registry has nothing.
      {nullptr, "C:\\old app\\sub", "#Program Files#\\App", "C:\\Old App"},
      {"", "C:\\Program Files\\", "x", "C:\\Program Files"},
      // No INI key: the default is expanded, not cut back unexpanded.
      {nullptr, "", "#Program Files#\\App", "C:\\Program Files\\App"},
  };
  for (const Row& row : rows) {
    std::memset(&d, 0, sizeof d);
    d.defaultFolder = row.defaultFolder;
    d.folderRootKey = 1;  // HKEY_CURRENT_USER
    d.folderRegKey = kAppKey;
    d.folderRegValue = "Folder";
    d.folderIniFile = "APP.INI";
    d.folderIniSection = "Paths";
    d.folderIniKey = "Folder";
    sim.AddFile("C:\\WINDOWS\\APP.INI", "");
    if (row.stored != nullptr) sim.SetRegistryString(kHkeyCurrentUser, kAppKey, "Folder", row.stored);
    if (row.ini != nullptr && row.ini[0] != '\0') {
      sim.AddFile("C:\\WINDOWS\\APP.INI", std::string("[Paths]\r\nFolder=") + row.ini + "\r\n");
    }
    EXPECT_EQ(Find(), row.expected) << (row.stored ? row.stored : "-") << " / "
                                    << (row.ini ? row.ini : "-");
    sim.SetRegistryString(kHkeyCurrentUser, kAppKey, "Folder", "");
  }
}

// A value without a NUL that fills the buffer stays terminated; one longer
// than that is not read at all.
TEST_P(InitialFolderTest, ARegistryValueThatFillsTheBufferStaysTerminated) {
  d.folderRootKey = 2;
  d.folderRegKey = kAppKey;
  std::string value = "C:\\Old App\\";
  value += std::string(259 - value.size(), 'z');
  sim.SetRegistryValue(kHkeyLocalMachine, kAppKey, "", kRegSz, value);
  EXPECT_EQ(Find(), "C:\\Old App");
  sim.SetRegistryValue(kHkeyLocalMachine, kAppKey, "", kRegSz, value + "z");
  EXPECT_EQ(Find("kept"), "kept");
}

TEST_P(InitialFolderTest, EveryComponentStartsFromTheFolderBeforeIt) {
  PackageState package{};
  char saved[3][260] = {};
  ComponentDescriptor descriptors[3] = {};
  descriptors[0].defaultFolder = "#Program Files#\\One";
  descriptors[2].defaultFolder = "C:\\Three";
  for (int k = 0; k < 3; ++k) {
    package.components[k].hasDescriptor = true;
    package.components[k].descriptor = descriptors[k];
    package.components[k].savedFolder = saved[k];
  }
  package.componentCount = 3;
  char destination[260] = "junk";
  FindInitialFolders(sim, "C:\\SETUP.EXE", package, 1, destination);
  EXPECT_STREQ(saved[0], "C:\\Program Files\\One");
  EXPECT_STREQ(saved[1], "C:\\Program Files\\One");
  EXPECT_STREQ(saved[2], "C:\\Three");
  EXPECT_STREQ(destination, "C:\\Program Files\\One");
}

TEST_P(InitialFolderTest, MakePathFoldersMakesWhatIsMissing) {
  struct Row {
    const char* path;
    int result;
    const char* made;  // a folder that must exist afterwards, or null
  };
  sim.AddFile("C:\\Old App\\file", "x");
  const Row rows[] = {
      {"C:\\Old App\\a\\b\\c.txt", 0, "C:\\Old App\\a\\b"},
      {"C:\\New\\", 0, "C:\\New"},
      {"C:\\x.txt", 0, nullptr},
      {"C:\\Old App\\file\\d\\e.txt", 1, nullptr},
      {"Q:\\a\\b.txt", 1, nullptr},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MakePathFolders(sim, row.path), row.result) << row.path;
    if (row.made != nullptr) {
      EXPECT_TRUE(sim.FolderExists(row.made)) << row.made;
    }
  }
  EXPECT_FALSE(sim.FolderExists("C:\\Old App\\file\\d"));
  EXPECT_EQ(sim.currentFolder, "C:\\WINDOWS");
  sim.allocationFails = [](uint32_t) { return true; };
  EXPECT_EQ(MakePathFolders(sim, "C:\\y\\z"), -1);
}

TEST_P(InitialFolderTest, CanonicalizePathRestoresStoredNames) {
  struct Row {
    const char* path;
    uint32_t size;
    bool fits;
    const char* expected;
  };
  const Row rows[] = {
      {"c:\\progra~1\\longna~1", 260, true, "c:\\Program Files\\Long Name Folder"},
      {"C:\\OLD APP\\", 260, true, "C:\\Old App"},
      {"C:\\Old App\\missing", 260, true, "C:\\Old App\\missing"},
      {"C:\\", 260, true, "C:\\"},
      // Long names make it longer than its buffer: reported, left as it was.
      {"C:\\PROGRA~1\\LONGNA~1", 25, false, "C:\\PROGRA~1\\LONGNA~1"},
  };
  for (const Row& row : rows) {
    char path[260];
    std::strcpy(path, row.path);
    EXPECT_EQ(CanonicalizePath(sim, path, row.size), row.fits) << row.path;
    EXPECT_STREQ(path, row.expected);
  }
  EXPECT_EQ(sim.OpenFindCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, InitialFolderTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Nt" : "Win98"; });

}  // namespace
}  // namespace setup
