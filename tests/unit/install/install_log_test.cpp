// The finishing step of whole runs: the uninstall log appended to the
// installed uninstaller, compared byte for byte with records written out here;
// the Start-menu shortcuts; the registration; the destination folder's values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/uninstall_log.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "platform/forwarding_platform.h"
#include "unit/support/byte_writer.h"
#include "unit/support/install_machine.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::InstallMachine;

constexpr const char* kUninstaller = "C:\\App\\remove.exe";
constexpr const char* kKey = InstallMachine::kUninstallKey;
constexpr const char* kSharedDlls = InstallMachine::kSharedDlls;
const std::string kGroup = std::string(InstallMachine::kPrograms) + "\\Group\\Sub";
const std::string kStartup = std::string(InstallMachine::kPrograms) + "\\Startup";

ByteWriter& Counted(ByteWriter& w, const std::string& text) {
  return w.U16(static_cast<uint32_t>(text.size())).Raw(text);
}

// The uninstaller, five files and two desktop shortcuts; with `shortcuts`,
// two Start-menu shortcuts (one into a new two-level group).
tools::Project LogProject(InstallMachine& m, bool shortcuts, bool displayName) {
  tools::FileSpec remove = m.File("remove.exe", "");
  remove.source.clear();
  remove.path.clear();
  remove.uninstaller = true;
  tools::FileSpec a = m.File("a.txt", "aaa");
  tools::FileSpec b = m.File("sub\\folder\\b.txt", "bbb");
  b.desktopName = "B";
  tools::FileSpec lib = m.File("lib.dll", "library");
  lib.folderKind = FOLDER_SYSTEM;
  lib.shared = true;
  lib.specialKind = SPECIAL_SELF_REGISTER;
  tools::FileSpec font = m.File("f.ttf", "font");
  font.folderKind = FOLDER_FONTS;
  tools::FileSpec keep = m.File("keep.txt", "keep");
  keep.placement = PLACE_KEEP;
  keep.desktopName = "Keep";
  if (shortcuts) {
    a.shortcutFolder = "Group\\Sub\\";
    a.shortcutName = "App";
    a.iconIndex = 3;
    keep.shortcutFolder = "#startup#";
    keep.shortcutName = "Auto";
  }
  tools::Project project = m.Project({remove, a, b, lib, font, keep});
  if (!displayName) project.components[0].displayName.reset();
  return project;
}

// The uninstaller as the run leaves it, written out by hand.
std::string ExpectedLog(bool shortcuts, bool displayName) {
  ByteWriter items;
  items.U32(6);
  Counted(Counted(items, "."), "a.txt").U8(0);
  Counted(Counted(items, ".\\sub\\folder"), "b.txt").U8(0);
  Counted(Counted(items, InstallMachine::kDesktop), "B.lnk").U8(0);
  Counted(Counted(items, "C:\\WINDOWS\\SYSTEM"), "lib.dll").U8(0x05);
  Counted(Counted(items, InstallMachine::kFonts), "f.ttf").U8(0x02);
  Counted(Counted(items, InstallMachine::kDesktop), "Keep.lnk").U8(0);
  ByteWriter log;
  log.Raw(std::string(InstallMachine::kImage));
  log.U16(0x1235).U16(0).U32(static_cast<uint32_t>(items.size())).Raw(items.bytes);
  if (shortcuts) {
    ByteWriter links;
    links.U32(2);
    Counted(Counted(links, kGroup), "App.lnk");
    Counted(Counted(links, kStartup), "Auto.lnk");
    log.U16(0x1236).U16(0).U32(static_cast<uint32_t>(links.size())).Raw(links.bytes);
  }
  if (displayName) {
    log.U16(0x1238).U16(0).U32(static_cast<uint32_t>(TextLength(kKey) + 6)).U32(0x80000002);
    Counted(log, kKey);
  }
  log.U16(0x7F7F).U16(0).U32(0);
  return log.str();
}

TEST(InstallLogTest, LogShortcutsAndRegistration) {
  for (bool shortcuts : {true, false}) {
    for (bool displayName : {true, false}) {
      SCOPED_TRACE(std::string(shortcuts ? "shortcuts" : "no shortcuts") +
                   (displayName ? ", display name" : ", no display name"));
      InstallMachine m;
      m.Build(LogProject(m, shortcuts, displayName));
      m.sim.selfRegistering["C:\\WINDOWS\\SYSTEM\\lib.dll"] = 0;
      m.sim.SetRegistryValue(kHkeyLocalMachine, kSharedDlls, "C:\\WINDOWS\\SYSTEM\\lib.dll",
                             kRegBinary, std::string("\x04\0\0\0", 4));
      ASSERT_EQ(m.Run({}), UNATTENDED_DONE);
      // A count is raised in the type it had.
      EXPECT_EQ(m.sim.RegistryValue(kHkeyLocalMachine, kSharedDlls, "C:\\WINDOWS\\SYSTEM\\lib.dll"),
                std::pair(kRegBinary, std::string("\x05\0\0\0", 4)));
      EXPECT_EQ(m.sim.fonts, std::vector<std::string>{"C:\\WINDOWS\\FONTS\\f.ttf"});
      EXPECT_EQ(m.sim.fontBroadcasts, 1);
      EXPECT_EQ(m.sim.registered, std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\lib.dll"});
      std::string log = *m.sim.FileContents(kUninstaller);
      EXPECT_TRUE(log == ExpectedLog(shortcuts, displayName))
          << ::testing::PrintToString(std::vector<uint8_t>(log.begin(), log.end()));
      EXPECT_STREQ(m.context->run.uninstallerPath, kUninstaller);
      auto name = m.sim.RegistryValue(kHkeyLocalMachine, kKey, "DisplayName");
      auto command = m.sim.RegistryValue(kHkeyLocalMachine, kKey, "UninstallString");
      EXPECT_EQ(name, displayName ? std::optional(std::pair(kRegSz, std::string("Demo")))
                                  : std::nullopt);
      EXPECT_EQ(command, displayName ? std::optional(std::pair(kRegSz, std::string(kUninstaller)))
                                     : std::nullopt);
      EXPECT_EQ(m.sim.links.count(kGroup + "\\App.lnk"), shortcuts ? 1u : 0u);
      EXPECT_EQ(m.sim.links.count(kStartup + "\\Auto.lnk"), shortcuts ? 1u : 0u);
      EXPECT_EQ(m.sim.links.count(std::string(InstallMachine::kDesktop) + "\\Keep.lnk"), 1u);
      if (!shortcuts) continue;
      const SimPlatform::ShellLinkRecord& link = m.sim.links.at(kGroup + "\\App.lnk");
      EXPECT_EQ(link.path, "C:\\App\\a.txt");
      EXPECT_EQ(link.workingFolder, "C:\\App");
      EXPECT_EQ(link.iconPath, "C:\\App\\a.txt");
      EXPECT_EQ(link.iconIndex, 3);
      EXPECT_EQ(m.sim.links.at(kStartup + "\\Auto.lnk").iconPath, "");
    }
  }
}

// Fails the n-th write to the log file, or makes it short.
class FailingLog final : public ForwardingPlatform {
 public:
  FailingLog(Platform& inner, int failAt, bool shortWrite)
      : ForwardingPlatform(inner), failAt_(failAt), short_(shortWrite) {}
  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override {
    FileHandle file = inner_.CreateFileA(path, access, share, disposition);
    if (TextEqualNoCase(path, kUninstaller) && disposition == kOpenExisting &&
        (access & kGenericWrite)) {
      log_ = file;
    }
    return file;
  }
  int WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) override {
    if (file != log_ || writes++ != failAt_) return inner_.WriteFile(file, buffer, count, done);
    if (!short_ || count < 2) return *done = 0, 0;
    return inner_.WriteFile(file, buffer, count - 1, done);
  }
  int writes = 0;

 private:
  int failAt_;
  bool short_;
  FileHandle log_ = kInvalidFile;
};

// Whichever write of the log fails, the uninstaller is left exactly as it
// was, its old end record last; the shortcuts and the registration are made.
TEST(InstallLogTest, AFailedLogWriteLeavesTheOldLog) {
  const std::string before = std::string(InstallMachine::kImage) + std::string("\x7F\x7F", 2) +
                              std::string(6, '\0');
  int failures = 0;
  for (bool shortWrite : {false, true}) {
    for (int failAt = 0;; ++failAt) {
      SCOPED_TRACE(::testing::Message() << "write " << failAt << (shortWrite ? " short" : ""));
      InstallMachine m;
      m.Build(LogProject(m, true, true));
      FailingLog& platform = m.Wrap<FailingLog>(failAt, shortWrite);
      ASSERT_EQ(m.Run({}), UNATTENDED_DONE);
      if (platform.writes <= failAt) break;  // every write went through
      ++failures;
      EXPECT_TRUE(m.sim.FileContents(kUninstaller) == before);
      EXPECT_EQ(m.sim.links.size(), 4u);
      EXPECT_TRUE(m.sim.RegistryValue(kHkeyLocalMachine, kKey, "UninstallString").has_value());
      EXPECT_EQ(m.sim.OpenHandleCount(), 0u);
    }
  }
  EXPECT_GT(failures, 40);
}

// The finishing step after a run that went through: the destination folder's
// registry and INI values and the component's lists; after one that failed,
// none of it. Without the package's uninstaller image the uninstaller entry
// is passed over: no file, no log, no registration, but the shortcuts.
TEST(InstallLogTest, DestinationFolderValuesAndLists) {
  struct Row {
    const char* destination;
    bool fails, image;
    std::string written;  // "" for nothing
  };
  const Row rows[] = {{"C:\\App\\", false, true, "C:\\App"}, {"C:\\", false, true, "C:\\"},
                      {"C:\\App\\", true, true, ""}, {"C:\\App\\", false, false, "C:\\App"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.destination << row.fails << row.image);
    InstallMachine m;
    tools::Project project = LogProject(m, true, true);
    tools::ComponentSpec& component = project.components[0];
    component.options = COMP_FOLDER_TO_REGISTRY | COMP_FOLDER_TO_INI;
    component.folderRootKey = 7;  // HKEY_CURRENT_USER
    component.folderRegKey = component.folderRegValue = component.folderIniKey = "Path";
    component.folderIniFile = "C:\\demo.ini";
    component.folderIniSection = "Demo";
    component.registry.push_back({2, false, "Software\\Demo", "Data", "#InstallDir#\\a.txt"});
    m.Build(project);
    // The last file fails: no temporary name is left for it.
    for (char c = 'A'; row.fails && c <= 'Z'; ++c) {
      m.sim.AddFile(std::string(row.destination) + "keep.$$" + c, "");
    }
    m.beforeRun = [&](SetupContext& context) {
      CopyText(context.current.destinationFolder, kPathSize, row.destination);
      if (!row.image) context.package.uninstaller = {nullptr, 0};
    };
    EXPECT_EQ(m.Run({}), row.fails ? UNATTENDED_FAILED : UNATTENDED_DONE);
    EXPECT_EQ(m.sim.RegistryValue(kHkeyCurrentUser, "Path", "Path"),
              row.written.empty() ? std::nullopt
                                  : std::optional(std::pair(kRegSz, row.written + '\0')));
    char ini[64] = {};
    m.sim.GetPrivateProfileStringA("Demo", "Path", "", ini, sizeof ini, "C:\\demo.ini");
    EXPECT_EQ(std::string(ini), row.written);
    EXPECT_EQ(m.sim.RegistryValue(kHkeyLocalMachine, "Software\\Demo", "Data"),
              row.fails ? std::nullopt
                        : std::optional(std::pair(kRegSz, row.written + "\\a.txt")));
    EXPECT_EQ(m.sim.links.size(), row.fails ? 1u : 4u);  // a desktop shortcut made before
    EXPECT_EQ(m.sim.RegistryKeyExists(kHkeyLocalMachine, kKey), !row.fails && row.image);
    EXPECT_EQ(m.sim.FileExists(std::string(row.destination) + "remove.exe"), row.image);
    EXPECT_STREQ(m.context->current.destinationFolder, row.destination);
  }
}

}  // namespace
}  // namespace setup
