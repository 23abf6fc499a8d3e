// INI, registry and file-patch lists written byte by byte and applied on the
// simulated machine: each row a list of one entry and the machine before and
// after.
#include "install/entry_changes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "package/entry_lists.h"
#include "package/file_entry.h"
#include "platform/sim/sim_platform.h"
#include "unit/support/package_bytes.h"

namespace setup {
namespace {

using test::Bytes;
using test::FileEntrySpec;

constexpr const char kAppIni[] = "C:\\App\\conf\\app.ini";
constexpr const char kLegacyIni[] = "C:\\WINDOWS\\legacy.ini";
constexpr const char kKey[] = "Software\\Vendorless\\Tool";

// The machine every scenario starts from: C: with the Windows folder and the
// destination folder C:\App, a clock, and a file list of two entries.
void Prepare(SimPlatform& machine) {
  machine.AddDrive('C', 1ull << 30);
  machine.AddFolder("C:\\WINDOWS\\SYSTEM");
  machine.AddFolder("C:\\App\\conf");
  machine.clock = {2024, 2, 4, 29, 23, 59, 0, 0};
}

PathPlaces PlacesOn(SimPlatform& machine) {
  return PathPlaces{machine, "C:\\App\\", "C:\\SRC\\SETUP.EXE"};
}

Payload Of(Bytes& b) { return Payload{b.data(), static_cast<uint32_t>(b.size())}; }

std::optional<std::string> IniValue(SimPlatform& machine, const char* file, const char* section,
                                    const char* key) {
  char out[256];
  machine.GetPrivateProfileStringA(section, key, "\x01", out, sizeof out, file);
  if (std::string(out) == "\x01") return std::nullopt;
  return std::string(out);
}

class EntryChangesTest : public ::testing::Test {
 protected:
  EntryChangesTest() {
    Prepare(sim);
    FileEntrySpec app, legacy, data;
    app.strings[ENTRY_NAME] = "conf\\app.ini";
    data.strings[ENTRY_NAME] = "data.bin";
    legacy.strings[ENTRY_NAME] = "legacy.ini";
    legacy.folderKind = FOLDER_WINDOWS;
    fileList = test::FileListBytes({app, legacy, data});
  }

  PathPlaces Places() { return PlacesOn(sim); }
  EntryFiles Files() { return EntryFiles{fileList.data() + 4, ReadU32(fileList.data())}; }

  SimPlatform sim;
  Bytes fileList;
};

// --- INI entries ---------------------------------------------------------------

TEST_F(EntryChangesTest, IniEntries) {
  struct Row {
    const char* name;
    std::optional<std::string> before;  // contents of the INI file, if any
    test::IniSpec entry;
    const char* file;                         // where the value is looked for
    std::optional<std::string> expected;      // the key's value afterwards
    int flushes;
  };
  const std::string one = "[Paths]\r\nHome=old\r\n";
  const std::string emptyValue = "[Paths]\r\nHome=\r\n";
  const Row rows[] = {
      {"a file entry's name in another case names its installed path", std::nullopt,
       {0, "CONF\\APP.INI", "Paths", "Home", "#InstallDir#\\bin"}, kAppIni,
       std::string("C:\\App\\bin"), 1},
      {"a Windows-folder entry by name", std::nullopt, {0, "Legacy.Ini", "S", "K", "v"},
       kLegacyIni, std::string("v"), 1},
      {"a path with variables", std::nullopt, {0, "#Windows#\\legacy.ini", "S", "K", "#Date#"},
       kLegacyIni, std::string("20240229"), 1},
      {"overwrites an existing value", one, {0, "conf\\app.ini", "Paths", "Home", "new"}, kAppIni,
       std::string("new"), 1},
      {"0x01 keeps a value that is there", one,
       {INI_ONLY_IF_MISSING, "conf\\app.ini", "Paths", "Home", "new"}, kAppIni,
       std::string("old"), 0},
      {"0x01 writes over an empty value", emptyValue,
       {INI_ONLY_IF_MISSING, "conf\\app.ini", "Paths", "Home", "new"}, kAppIni,
       std::string("new"), 1},
      {"0x01 writes a missing key", one,
       {INI_ONLY_IF_MISSING, "conf\\app.ini", "Paths", "Other", "new"}, kAppIni,
       std::string("new"), 1},
      {"an empty value writes and deletes nothing", one, {0, "conf\\app.ini", "Paths", "Home", ""},
       kAppIni, std::string("old"), 0},
      {"a value whose expansion is empty", one,
       {0, "conf\\app.ini", "Paths", "Home", "#Nothing#"}, kAppIni, std::string("old"), 0},
      {"a file text whose expansion is empty", std::nullopt, {0, "#Nothing#", "S", "K", "v"},
       kLegacyIni, std::nullopt, 0},
      {"a path too long for a file name", std::nullopt,
       {0, "#Windows#\\" + std::string(260, 'x') + ".ini", "S", "K", "v"}, kLegacyIni,
       std::nullopt, 0},
  };
  for (const Row& row : rows) {
    SimPlatform machine;
    Prepare(machine);
    if (row.before) machine.AddFile(row.file, *row.before);
    Bytes list = test::IniListBytes({row.entry});
    ApplyIniEntries(PlacesOn(machine), Files(), Of(list));
    EXPECT_EQ(IniValue(machine, row.file, row.entry.section.c_str(), row.entry.key.c_str()),
              row.expected)
        << row.name;
    EXPECT_EQ(machine.profileFlushes, row.flushes) << row.name;
    if (!row.before && row.flushes == 0) {
      EXPECT_EQ(machine.ListFiles().size(), 0u) << row.name;
    }
    EXPECT_EQ(machine.OutstandingBlocks(), 0u) << row.name;
  }
}

// --- Registry entries --------------------------------------------------------

TEST_F(EntryChangesTest, RegistryEntries) {
  struct Existing {
    uint32_t type;
    std::string data;
  };
  struct Row {
    const char* name;
    std::optional<Existing> before;  // the value at HKCU\kKey "Path"
    test::RegistrySpec entry;
    RegKey root;                            // where the value is looked for
    std::string expected;                   // its bytes afterwards
  };
  const std::string name = "Path";
  auto sz = [](const std::string& s) { return Existing{kRegSz, s + '\0'}; };
  auto kept = [](const std::string& s) { return s + '\0'; };
  const Row rows[] = {
      {"HKEY_CLASSES_ROOT", std::nullopt, {0, 0, kKey, name, "x"}, kHkeyClassesRoot, "x"},
      {"HKEY_CURRENT_USER", std::nullopt, {1, 0, kKey, name, "x"}, kHkeyCurrentUser, "x"},
      {"HKEY_LOCAL_MACHINE", std::nullopt, {2, 0, kKey, name, "x"}, kHkeyLocalMachine, "x"},
      {"HKEY_USERS", std::nullopt, {3, 0, kKey, name, "x"}, kHkeyUsers, "x"},
      {"root 4 is the current user", std::nullopt, {4, 0, kKey, name, "x"}, kHkeyCurrentUser, "x"},
      {"an installed path, without its NUL", std::nullopt,
       {1, 0, kKey, name, "#InstallDir#\\tool.exe"}, kHkeyCurrentUser, "C:\\App\\tool.exe"},
      {"overwritten without the flag", sz("old"), {1, 0, kKey, name, "new"}, kHkeyCurrentUser,
       "new"},
      {"0x01 keeps a string with data", sz("old"), {1, REG_KEEP_EXISTING, kKey, name, "new"},
       kHkeyCurrentUser, kept("old")},
      {"0x01 overwrites an empty string", sz(""), {1, REG_KEEP_EXISTING, kKey, name, "new"},
       kHkeyCurrentUser, "new"},
      {"0x01 writes a missing value", std::nullopt, {1, REG_KEEP_EXISTING, kKey, name, "new"},
       kHkeyCurrentUser, "new"},
      {"0x01 keeps data longer than the probe", sz(std::string(20, 'o')),
       {1, REG_KEEP_EXISTING, kKey, name, "new"}, kHkeyCurrentUser, kept(std::string(20, 'o'))},
      {"empty data writes nothing", sz("old"), {1, 0, kKey, name, ""}, kHkeyCurrentUser, kept("old")},
      {"data whose expansion is empty", sz("old"), {1, 0, kKey, name, "#Nothing#"},
       kHkeyCurrentUser, kept("old")},
  };
  for (const Row& row : rows) {
    SimPlatform machine;
    machine.AddDrive('C', 1ull << 30);
    if (row.before) {
      machine.SetRegistryValue(kHkeyCurrentUser, kKey, name, row.before->type, row.before->data);
    }
    Bytes list = test::RegistryListBytes({row.entry});
    ApplyRegistryEntries(PathPlaces{machine, "C:\\App\\", "C:\\SETUP.EXE"}, Of(list));
    auto value = machine.RegistryValue(row.root, kKey, name);
    ASSERT_TRUE(value) << row.name;
    EXPECT_EQ(value->first, kRegSz) << row.name;
    EXPECT_EQ(value->second, row.expected) << row.name;
    EXPECT_EQ(machine.OpenKeyCount(), 0u) << row.name;
    EXPECT_EQ(machine.OutstandingBlocks(), 0u) << row.name;
  }
}

TEST_F(EntryChangesTest, RegistryEmptyDataCreatesNoKey) {
  Bytes list = test::RegistryListBytes({{2, 0, kKey, "", ""}, {2, 0, kKey, "", "#Nothing#"}});
  ApplyRegistryEntries(Places(), Of(list));
  EXPECT_FALSE(sim.RegistryKeyExists(kHkeyLocalMachine, kKey));
}

// --- File patches ------------------------------------------------------------

struct PatchRow {
  const char* name;
  std::string before;  // contents of C:\App\data.bin
  int32_t offset;
  std::string text;
  std::string after;
};

std::string Zeros(size_t n) { return std::string(n, '\0'); }

TEST_F(EntryChangesTest, FilePatchesAtAPosition) {
  const PatchRow rows[] = {
      {"offset 0 overwrites the first bytes", "hello world", 0, "HE", "HEllo world"},
      {"the text runs past the end", "hello", 3, "LO!!", "helLO!!"},
      {"a position past the end grows the file", "hi", 4, "X", "hi" + Zeros(2) + "X"},
      {"-2 writes nothing", "hello", -2, "XX", "hello"},
      {"-1 without a pattern writes nothing", "hello", -1, "XX", "hello"},
      {"an empty text writes nothing", "hello", 0, "", "hello"},
      {"a text whose expansion is empty", "hello", 0, "#Nothing#", "hello"},
      {"the text expanded, without its NUL", "0123456789abcdef", 2, "#InstallDir#",
       "01C:\\App89abcdef"},
  };
  for (const PatchRow& row : rows) {
    sim.AddFile("C:\\App\\data.bin", row.before);
    Bytes list = test::PatchListBytes({{row.offset, "DATA.BIN", row.text, {}}});
    ApplyFilePatches(Places(), Files(), Of(list));
    EXPECT_EQ(sim.FileContents("C:\\App\\data.bin"), row.after) << row.name;
    EXPECT_EQ(sim.OpenHandleCount(), 0u) << row.name;
  }
}

// The file position where the text lands, found independently of the search.
std::string Patched(std::string contents, const std::string& pattern, const std::string& text) {
  size_t at = pattern.empty() ? std::string::npos : contents.find(pattern);
  if (at == std::string::npos) return contents;
  size_t position = at + pattern.size();
  if (contents.size() < position + text.size()) contents.resize(position + text.size());
  contents.replace(position, text.size(), text);
  return contents;
}

// A pattern of `length` letters that the filler never holds.
std::string Pattern(size_t length, uint32_t seed) {
  std::string p;
  for (size_t i = 0; i < length; ++i) {
    seed = seed * 1103515245u + 12345u;
    p += static_cast<char>('A' + (seed >> 16) % 26);
  }
  return p;
}

TEST_F(EntryChangesTest, FilePatchesAfterAPattern) {
  struct Row {
    const char* name;
    size_t fileSize;
    size_t patternLength;
    std::vector<size_t> at;  // where copies of the pattern are put
  };
  const size_t W = kPatternWindowSize, S = kPatternWindowStep;
  const Row rows[] = {
      {"in the first window", 100, 4, {10}},
      {"the whole file", 4, 4, {0}},
      {"right at the end", 5000, 6, {4994}},
      {"the first of two", 5000, 6, {3000, 200}},
      {"not there", 5000, 6, {}},
      {"a file shorter than the pattern", 3, 4, {}},
      {"at 20000, in the second half of the first window", 60000, 5, {20000}},
      {"the first position of the second window", 60000, 5, {S}},
      {"across the first window's end", 60000, 5, {W - 2}},
      {"across the second window's end", 60000, 5, {W + S - 3}},
      {"across the step in a file of exactly one window", W, 5, {S - 2}},
      {"at the end of a file one byte past the window", W + 1, 5, {W - 4}},
      {"at the end of a long file", 3 * W + 7, 9, {3 * W - 2}},
      {"a pattern of step + 1 bytes at the last first-window position", 3 * W, S + 1, {S - 1}},
      {"a pattern of step + 2 bytes across the window's end", 3 * W, S + 2, {S + 100}},
      {"a pattern of 20000 bytes at 30000", 70000, 20000, {30000}},
      {"a pattern longer than the window", 200000, W + 10, {70001}},
      {"a pattern longer than the window, not there", 200000, W + 10, {}},
  };
  for (const Row& row : rows) {
    std::string pattern = Pattern(row.patternLength, 7);
    std::string contents(row.fileSize, '.');
    for (auto it = row.at.rbegin(); it != row.at.rend(); ++it) contents.replace(*it, pattern.size(), pattern);
    // A near miss before the first copy: all but the pattern's last byte.
    if (!row.at.empty() && row.at[0] >= pattern.size() + 1) {
      contents.replace(row.at[0] - pattern.size() - 1, pattern.size() - 1, pattern, 0,
                       pattern.size() - 1);
    }
    sim.AddFile("C:\\App\\data.bin", contents);
    Bytes list = test::PatchListBytes(
        {{-1, "#InstallDir#\\data.bin", "<patched>", Bytes(pattern.begin(), pattern.end())}});
    ApplyFilePatches(Places(), Files(), Of(list));
    std::string expected = Patched(contents, pattern, "<patched>");
    std::string after = sim.FileContents("C:\\App\\data.bin").value_or("");
    EXPECT_TRUE(after == expected) << row.name << ": the text landed at "
                                   << after.find("<patched>") << ", not "
                                   << expected.find("<patched>");
    EXPECT_EQ(sim.OutstandingBlocks(), 0u) << row.name;
  }
}

// Files the patch cannot open are left as they are, and none is made.
TEST_F(EntryChangesTest, FilePatchTargetsThatCannotBeOpened) {
  struct Row {
    const char* name;
    const char* file;  // the entry's patchFile
    uint32_t attributes;
    bool held;
  };
  const Row rows[] = {
      {"a read-only file", "legacy.ini", kAttrReadOnly, false},
      {"a file held open by another process", "legacy.ini", kAttrNormal, true},
      {"a file that is not there", "#Windows#\\other.ini", kAttrNormal, false},
  };
  for (const Row& row : rows) {
    SimPlatform machine;
    Prepare(machine);
    machine.AddFile(kLegacyIni, "key=value", row.attributes);
    machine.HoldOpenByOtherProcess(kLegacyIni, row.held);
    Bytes list = test::PatchListBytes({{-1, row.file, "VALUE", Bytes{'k', 'e', 'y', '='}}});
    ApplyFilePatches(PlacesOn(machine), Files(), Of(list));
    EXPECT_EQ(machine.FileContents(kLegacyIni), "key=value") << row.name;
    EXPECT_EQ(machine.ListFiles().size(), 1u) << row.name;
  }
}

}  // namespace
}  // namespace setup
