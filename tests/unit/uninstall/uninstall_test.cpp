// The uninstaller on the simulated machine: a whole install by the engine
// undone from the log it wrote; the removal's answers to each kind of item,
// from logs written out by hand; and the uninstaller's own file, read from
// a program image assembled byte by byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "install/uninstall_log.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "unit/support/byte_writer.h"
#include "unit/support/install_machine.h"
#include "uninstall/remove_installation.h"
#include "uninstall/uninstall_command_line.h"
#include "uninstall/uninstall_texts.h"
#include "uninstall/uninstaller_file.h"

namespace setup {
namespace {

using test::ByteWriter;
using test::InstallMachine;

constexpr const char kUninstaller[] = "C:\\App\\uninst.exe";

// The deletions NT is to carry out at the restart, in order.
std::vector<std::string> Deletions(const SimPlatform& sim) {
  std::vector<std::string> paths;
  for (const auto& move : sim.delayedMoves) {
    if (move.to.empty()) paths.push_back(move.from);
  }
  return paths;
}

class Answers final : public RemovalQuestions {
 public:
  explicit Answers(bool removeShared) : removeShared_(removeShared) {}
  bool RemoveSharedFile(const char* path) override {
    asked.emplace_back(path);
    return removeShared_;
  }
  void Progress(const char*, int percent) override { percents.push_back(percent); }
  void Left(const char* path, LeftReason reason) override {
    left.push_back(std::string(path) + " " + std::to_string(reason));
  }
  std::vector<std::string> asked, left;
  std::vector<int> percents;

 private:
  bool removeShared_;
};

std::vector<std::string> Minus(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::set<std::string> other(b.begin(), b.end());
  std::vector<std::string> out;
  for (const std::string& s : a) {
    if (!other.count(s)) out.push_back(s);
  }
  return out;
}

// Everything the engine puts on a machine, installed and then removed: the
// machine's files and registry must be as before, but for what the removal
// cannot do while the uninstaller runs (its own file and folder, deleted at
// the restart) and the empty Uninstall key that registration made.
TEST(UninstallTest, InstallThenRemoveLeavesTheMachineAsItWas) {
  for (bool nt : {true, false}) {
    for (bool userFile : {false, true}) {
      SCOPED_TRACE(std::string(nt ? "NT" : "98") + (userFile ? ", a file of the user's" : ""));
      InstallMachine m;
      m.sim.windowsNt = nt;
      std::vector<tools::FileSpec> files;
      files.push_back(m.File("app.exe", "program"));
      files.back().desktopName = "App";
      files.back().shortcutFolder = "Demo\\Tools";
      files.back().shortcutName = "App";
      files.push_back(m.File("sub\\deep\\data.txt", "data"));
      files.push_back(m.File("sub\\readme.txt", "read me"));
      files.push_back(m.File("shared.dll", "shared"));
      files.back().folderKind = FOLDER_SYSTEM;
      files.back().shared = true;
      files.push_back(m.File("demo.ttf", "font"));
      files.back().folderKind = FOLDER_FONTS;
      files.push_back(m.File("reg.dll", "registers"));
      files.back().specialKind = SPECIAL_SELF_REGISTER;
      files.push_back(m.File("uninst.exe", ""));
      files.back().uninstaller = true;
      files.back().source.clear();
      m.Build(m.Project(files));
      m.sim.selfRegistering["C:\\App\\reg.dll"] = 0;
      std::vector<std::string> filesBefore = m.sim.FileTree();
      std::vector<std::string> registryBefore = m.sim.RegistryTree();
      ASSERT_EQ(m.Run({}), UNATTENDED_DONE);
      if (userFile) m.sim.AddFile("C:\\App\\sub\\mine.txt", "mine");

      std::string bytes = *m.sim.FileContents(kUninstaller);
      UninstallLogRecords records;
      ASSERT_EQ(ReadUninstallLog(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                 TextLength(InstallMachine::kImage), false, &records).kind,
                LOG_PROBLEM_NONE);
      EXPECT_EQ(records.fileCount, 7u);  // six files and the desktop shortcut
      Answers answers(true);
      RemovalResult result = RemoveInstallation(m.sim, RemovalSettings{nt, kUninstaller, nullptr},
                                                records, answers);
      EXPECT_FALSE(result.failed);
      EXPECT_FALSE(result.restartNeeded);
      EXPECT_EQ(answers.asked, std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\shared.dll"});
      EXPECT_EQ(answers.percents.front(), 0);
      EXPECT_TRUE(m.sim.fonts.empty());
      EXPECT_EQ(m.sim.unregistered, std::vector<std::string>{"C:\\App\\reg.dll"});

      std::vector<std::string> allowedFiles = {"C:\\App\\", std::string(kUninstaller) + " [128] " +
                                               bytes};
      if (!nt) allowedFiles.push_back("C:\\WINDOWS\\WININIT.INI");
      if (userFile) {
        allowedFiles.insert(allowedFiles.end(), {"C:\\App\\sub\\", "C:\\App\\sub\\mine.txt [128] mine"});
      }
      std::vector<std::string> extra = Minus(m.sim.FileTree(), filesBefore);
      std::erase_if(extra, [&](const std::string& s) {
        return std::find_if(allowedFiles.begin(), allowedFiles.end(), [&](const std::string& a) {
                 return s.rfind(a, 0) == 0;
               }) != allowedFiles.end();
      });
      EXPECT_EQ(extra, std::vector<std::string>{});
      EXPECT_EQ(Minus(filesBefore, m.sim.FileTree()), std::vector<std::string>{});
      std::vector<std::string> registryExtra = Minus(m.sim.RegistryTree(), registryBefore);
      std::erase_if(registryExtra, [](const std::string& s) {
        return s.find("PENDINGFILERENAMEOPERATIONS") != std::string::npos ||
               s.find("PendingFileRenameOperations") != std::string::npos ||
               s.size() >= 9 && s.compare(s.size() - 9, 9, "UNINSTALL") == 0 ||
               s.find("SESSION MANAGER") != std::string::npos;
      });
      EXPECT_EQ(registryExtra, std::vector<std::string>{});
      EXPECT_EQ(Minus(registryBefore, m.sim.RegistryTree()), std::vector<std::string>{});
      // What waits for the restart: the uninstaller, and on NT its folder after it.
      if (nt) {
        EXPECT_EQ(Deletions(m.sim), (std::vector<std::string>{kUninstaller, "C:\\App"}));
      } else {
        EXPECT_NE(m.sim.FileContents("C:\\WINDOWS\\WININIT.INI")->find("NUL="), std::string::npos);
      }
    }
  }
}

// One logged file per row, on NT, in C:\App\sub (or as the row names it).
TEST(UninstallTest, EachKindOfItem) {
  struct Row {
    const char* name;
    std::string folder;  // as logged
    const char* file;
    uint8_t flags;
    std::function<void(SimPlatform&)> setup;
    bool answer;         // to the shared-file question
    bool stays;          // the file is still there afterwards
    const char* left;    // the reason reported, or ""
    bool restart, failed;
    std::function<void(SimPlatform&)> check;
  };
  const char* shared = "C:\\WINDOWS\\SYSTEM\\s.dll";
  auto count = [shared](uint32_t n) {
    return [shared, n](SimPlatform& sim) {
      sim.AddFolder("C:\\WINDOWS\\SYSTEM");
      sim.AddFile(shared, "s");
      std::string data(4, '\0');
      WriteU32(reinterpret_cast<uint8_t*>(data.data()), n);
      sim.SetRegistryValue(kHkeyLocalMachine, InstallMachine::kSharedDlls, shared, kRegDword, data);
    };
  };
  auto countIs = [shared](std::optional<uint32_t> n) {
    return [shared, n](SimPlatform& sim) {
      auto value = sim.RegistryValue(kHkeyLocalMachine, InstallMachine::kSharedDlls, shared);
      ASSERT_EQ(value.has_value(), n.has_value());
      if (n) EXPECT_EQ(ReadU32(reinterpret_cast<const uint8_t*>(value->second.data())), *n);
    };
  };
  const char* fontsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  const Row rows[] = {
      {"a plain file, and its folder goes", ".\\sub", "a.txt", 0, nullptr, true, false, "", false, false,
       [](SimPlatform& sim) { EXPECT_FALSE(sim.FolderExists("C:\\App\\sub")); }},
      {"a read-only file", ".\\sub", "r.txt", 0,
       [](SimPlatform& sim) { sim.AddFile("C:\\App\\sub\\r.txt", "r", kAttrReadOnly); }, true, false, "",
       false, false, nullptr},
      {"a file already gone", ".\\sub", "gone.txt", 0,
       [](SimPlatform& sim) { sim.AddFolder("C:\\App\\sub"); }, true, false, "", false, false, nullptr},
      {"a file of the user's beside it keeps the folder", ".\\sub", "a.txt", 0,
       [](SimPlatform& sim) { sim.AddFile("C:\\App\\sub\\mine.txt", "m"); }, true, false,
       "C:\\App\\sub 3", false,
       false, [](SimPlatform& sim) { EXPECT_TRUE(sim.FileExists("C:\\App\\sub\\mine.txt")); }},
      {"a file in use waits for the restart, its folder after it", ".\\sub", "busy.dll", 0,
       [](SimPlatform& sim) {
         sim.AddFile("C:\\App\\sub\\busy.dll", "b");
         sim.HoldOpenByOtherProcess("C:\\App\\sub\\busy.dll");
       },
       true, true, "C:\\App\\sub\\busy.dll 0", true, false,
       [](SimPlatform& sim) {
         EXPECT_EQ(Deletions(sim), (std::vector<std::string>{"C:\\App\\sub\\busy.dll", "C:\\App\\sub",
                                                              kUninstaller, "C:\\App"}));
       }},
      {"a shared file others still count", "C:\\WINDOWS\\SYSTEM", "s.dll", LOG_SHARED_COUNTED, count(3),
       true, true, "C:\\WINDOWS\\SYSTEM\\s.dll 2", false, false, countIs(2)},
      {"a shared file at 0, removed", "C:\\WINDOWS\\SYSTEM", "s.dll", LOG_SHARED_COUNTED, count(1), true,
       false, "", false, false, countIs(std::nullopt)},
      {"a shared file at 0, kept", "C:\\WINDOWS\\SYSTEM", "s.dll", LOG_SHARED_COUNTED, count(1), false,
       true, "C:\\WINDOWS\\SYSTEM\\s.dll 1", false, false, countIs(0)},
      {"a font: resource and Fonts value", "C:\\WINDOWS\\FONTS", "f.ttf", LOG_FONT_ADDED,
       [fontsKey](SimPlatform& sim) {
         sim.AddFile("C:\\WINDOWS\\FONTS\\f.ttf", "f");
         sim.AddFontResourceA("C:\\WINDOWS\\FONTS\\f.ttf");
         sim.SetRegistryString(kHkeyLocalMachine, fontsKey, "Other (TrueType)", "other.ttf");
         sim.SetRegistryString(kHkeyLocalMachine, fontsKey, "F (TrueType)", "F.TTF");
       },
       true, false, "", false, false,
       [fontsKey](SimPlatform& sim) {
         EXPECT_TRUE(sim.fonts.empty());
         EXPECT_FALSE(sim.RegistryValue(kHkeyLocalMachine, fontsKey, "F (TrueType)"));
         EXPECT_TRUE(sim.RegistryValue(kHkeyLocalMachine, fontsKey, "Other (TrueType)"));
       }},
      {"a folder that climbs out is refused", ".\\..\\Windows", "win.ini", 0,
       [](SimPlatform& sim) { sim.AddFile("C:\\Windows\\win.ini", "w"); }, true, true, "win.ini 4",
       false, true, nullptr},
      {"a name with a folder in it is refused", ".", "..\\x.txt", 0,
       [](SimPlatform& sim) { sim.AddFile("C:\\x.txt", "x"); }, true, true, "..\\x.txt 4", false, true,
       nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimPlatform sim;
    sim.AddDrive('C', 1 << 24);
    sim.AddFile(kUninstaller, "image");
    sim.AddFolder("C:\\WINDOWS\\FONTS");
    if (row.setup) row.setup(sim);
    std::string path = (row.folder[0] == '.' ? "C:\\App" + row.folder.substr(1) : row.folder) + "\\" +
                       row.file;
    if (row.folder[0] == '.' && row.folder.find("..") == std::string::npos &&
        !sim.FileExists(path) && std::string(row.name).find("gone") == std::string::npos) {
      sim.AddFile(path, "x");
    }
    ByteWriter log;
    log.U16(LOG_FILES).U16(0).U32(4 + 4 + row.folder.size() + std::strlen(row.file) + 1).U32(1);
    log.U16(row.folder.size()).Raw(row.folder).U16(std::strlen(row.file)).Raw(row.file).U8(row.flags);
    log.U16(LOG_END).U16(0).U32(0);
    UninstallLogRecords records;
    ASSERT_EQ(ReadUninstallLog(log.bytes.data(), log.size(), 0, false, &records).kind, LOG_PROBLEM_NONE);
    Answers answers(row.answer);
    RemovalResult result = RemoveInstallation(sim, RemovalSettings{true, kUninstaller, nullptr}, records,
                                              answers);
    if (std::string(row.name).find("refused") == std::string::npos) {
      EXPECT_EQ(sim.FileExists(path), row.stays);
    }
    EXPECT_EQ(answers.left.empty() ? "" : answers.left.front(), std::string(row.left));
    EXPECT_EQ(result.restartNeeded, row.restart);
    EXPECT_EQ(result.failed, row.failed);
    if (row.check) row.check(sim);
    if (std::string(row.name).find("refused") != std::string::npos) {
      EXPECT_TRUE(sim.FileExists(std::string(row.name).find("climbs") != std::string::npos
                                     ? "C:\\Windows\\win.ini" : "C:\\x.txt"));
    }
  }
}

// A program image of one section (raw data 0x100..0x120), then the stream.
ByteWriter Image() {
  ByteWriter w;
  w.Raw("MZ").Fill(0x3A, 0).U32(0x40);
  w.Raw(std::string("PE\0\0", 4)).U16(0x14C).U16(1).Fill(12, 0).U16(0).U16(0x102);
  w.Fill(16, 0).U32(0x20).U32(0x100).Fill(16, 0);
  w.Fill(0x120 - w.size(), 0xCC);
  return w;
}

TEST(UninstallTest, OwnFileRecords) {
  auto texts = [](ByteWriter& w) {
    w.U16(UNINSTALL_TEXTS).U16(0).U32(2 + 5).U16(2).Text("Bye").Text("");
  };
  auto log = [](ByteWriter& w) {
    w.U16(LOG_FILES).U16(0).U32(4).U32(0);
    w.U16(LOG_REGISTRATION).U16(0).U32(4 + 2 + 4).U32(kHkeyLocalMachine).U16(4).Raw("U\\Ex");
    w.U16(LOG_END).U16(0).U32(0);
  };
  struct Row {
    const char* name;
    std::function<ByteWriter()> file;
    UninstallerFileResult result;
    const char* caption;  // UNTEXT_CAPTION as read
  };
  const Row rows[] = {
      {"texts, an unknown record, the log", [&] {
         ByteWriter w = Image(); texts(w); w.U16(0x1299).U16(0).U32(3).Raw("abc"); log(w); return w; },
       UNINSTALLER_FILE_OK, "Bye"},
      {"no texts: the defaults", [&] { ByteWriter w = Image(); log(w); return w; }, UNINSTALLER_FILE_OK,
       "Uninstall"},
      {"never installed", [&] { ByteWriter w = Image(); texts(w); w.U16(LOG_END).U16(0).U32(0); return w; },
       UNINSTALLER_FILE_NO_LOG, "Bye"},
      {"cut inside the log", [&] {
         ByteWriter w = Image(); texts(w); log(w); w.bytes.resize(w.size() - 12); return w; },
       UNINSTALLER_FILE_DAMAGED, "Bye"},
      {"a record past the end", [&] { ByteWriter w = Image(); w.U16(0x1299).U16(0).U32(99); return w; },
       UNINSTALLER_FILE_DAMAGED, "Uninstall"},
      {"a section past the end", [&] { ByteWriter w = Image(); w.bytes.resize(0x110); return w; },
       UNINSTALLER_FILE_NO_IMAGE, "Uninstall"},
      {"no program image", [&] { ByteWriter w; w.Raw("ZM").Fill(0x80, 0); log(w); return w; },
       UNINSTALLER_FILE_NO_IMAGE, "Uninstall"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ByteWriter w = row.file();
    UninstallerFile file{w.bytes.data(), static_cast<uint32_t>(w.size()), {}, {}, {}};
    EXPECT_EQ(ReadUninstallerRecords(&file), row.result);
    EXPECT_STREQ(UninstallString(file.texts, UNTEXT_CAPTION), row.caption);
    EXPECT_STREQ(UninstallString(file.texts, UNTEXT_CONFIRM), kUninstallDefaultTexts[UNTEXT_CONFIRM]);
    if (row.result == UNINSTALLER_FILE_OK) {
      EXPECT_EQ(file.log.offset, w.size() - 8 - 18 - 12);
      EXPECT_TRUE(file.log.hasRegistration);
    }
  }
}

TEST(UninstallTest, CommandLine) {
  struct Row {
    const char* text;
    bool quiet;
    const char* log;
  } const rows[] = {
      {"", false, ""},
      {"/X", true, ""},
      {"-q /l \"C:\\My Logs\\u.log\"", true, "C:\\My Logs\\u.log"},
      {"/L C:\\u.log /x", true, "C:\\u.log"},
      {"remove /X", false, ""},
  };
  for (const Row& row : rows) {
    UninstallCommandLine line;
    ParseUninstallCommandLine(row.text, &line);
    EXPECT_EQ(line.quiet, row.quiet) << row.text;
    EXPECT_STREQ(line.logPath, row.log) << row.text;
  }
}

}  // namespace
}  // namespace setup
