// The quiet install on the simulated machine: one table of whole runs, each
// a package, a machine and a command line's /C and /F, checked for its exit
// code, the files left, the questions (all answered by the policy, none
// shown) and the lines of the /L log.
#include "install/quiet_install.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "platform/forwarding_platform.h"
#include "session/messages.h"
#include "unit/support/install_machine.h"

namespace setup {
namespace {

using test::InstallMachine;

constexpr const char* kTarget = "C:\\App\\tool.dll";
constexpr const char* kLog = "C:\\setup.log";
const std::string kNew = "new content " + std::string(5000, 'n');
const std::string kOld = "old content";

// A file that Windows lets others read and write but not delete, taken after
// the check before the install (as a program that opens it meanwhile).
class HoldLater final : public ForwardingPlatform {
 public:
  HoldLater(Platform& inner, SimPlatform& sim) : ForwardingPlatform(inner), sim_(sim) {}
  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share, uint32_t how) override {
    std::string name = path;
    if (how == kCreateAlways && !held_ && name.ends_with(".$$A")) {
      held_ = true;
      sim_.HoldOpenByOtherProcess(kTarget, true, true);
    }
    return inner_.CreateFileA(path, access, share, how);
  }
  int DeleteFileA(const char* path) override {
    int deleted = inner_.DeleteFileA(path);
    sharing_ = !deleted && TextEqualNoCase(path, kTarget);
    return deleted;
  }
  uint32_t GetLastError() override {
    return sharing_ ? kErrorSharingViolation : inner_.GetLastError();
  }

 private:
  SimPlatform& sim_;
  bool held_ = false;
  bool sharing_ = false;
};

// Bytes that do not compress: the package stores them as they are.
std::string Noise(size_t size) {
  std::string noise(size, '\0');
  uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  return noise;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    EXPECT_FALSE(line.empty() || line.back() != '\r') << "not a CRLF line: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST(QuietInstallTest, PolicyExitCodesAndLog) {
  struct Row {
    const char* what;
    std::function<void(InstallMachine&, tools::Project&)> arrange;  // before the build
    std::function<void(InstallMachine&)> spoil;                     // after it
    int component;
    std::string folder;
    int code;
    std::optional<std::string> target;  // kTarget's contents afterwards
    std::vector<std::string> log;       // lines that must appear, in this order
  };
  const auto Versioned = [](InstallMachine& m, tools::Project& p) {
    p.components[0].files[0].checkVersion = true;
    p.components[0].files[0].version = {0x20004, 0, 0x20004, 0, 0};
    m.sim.AddFile(kTarget, kOld);
    m.sim.SetFileVersion(kTarget, 0x20005, 0, 0x409);
  };
  // Data that does not compress, spread over volumes of 3000 bytes.
  const auto Spanning = [](InstallMachine& m, tools::Project& p) {
    p.components[0].files.push_back(m.File("noise.bin", Noise(9000)));
    p.volumeSize = 3000;
  };
  const std::string deep = "C:\\" + std::string(260, 'd');
  const Row rows[] = {
      {"a clean install into the component's folder, made", nullptr, nullptr, 0, "", QUIET_DONE,
       kNew,
       {"folder\tC:\\App\tmade", "installed\tC:\\App\\tool.dll\tnew",
        "shortcut\tC:\\WINDOWS\\Desktop\\Tool.lnk\tC:\\App\\tool.dll",
        "installed\tC:\\App\\readme.txt\tnew",
        "uninstaller\tC:\\App\\uninst.exe\tlog appended",
        "shortcut\tC:\\WINDOWS\\Start Menu\\Programs\\Demo\\Tool.lnk\ttool.dll",
        "ini\tC:\\WINDOWS\\demo.ini\t[Setup] Folder=C:\\App",
        "registry\tHKCU\\Software\\Demo\\Folder\tC:\\App",
        "result\tinstalled\texit code 0"}},
      {"a file there is replaced", [](InstallMachine& m, tools::Project&) {
         m.sim.AddFile(kTarget, kOld);
       }, nullptr, 0, "", QUIET_DONE, kNew, {"installed\tC:\\App\\tool.dll\treplaced"}},
      {"a newer file on the machine is kept", Versioned, nullptr, 0, "", QUIET_DONE, kOld,
       {"skipped\tC:\\App\\tool.dll\tnewer on the machine",
        "result\tinstalled\texit code 0"}},
      {"a read-only file is replaced and stays read-only", [](InstallMachine& m, tools::Project&) {
         m.sim.AddFile(kTarget, kOld, kAttrReadOnly);
       }, nullptr, 0, "", QUIET_DONE, kNew,
       {"installed\tC:\\App\\tool.dll\treplaced, read-only"}},
      {"a file in use waits for the restart", [](InstallMachine& m, tools::Project&) {
         m.sim.AddFile(kTarget, kOld);
         m.Wrap<HoldLater>(m.sim);
       }, nullptr, 0, "", QUIET_RESTART_NEEDED, kOld,
       {"scheduled\tC:\\App\\tool.dll\tin use: at restart",
        "result\trestart needed\texit code 3010"}},
      {"not enough space", nullptr, nullptr, 0, "D:\\App", ERR_DISK_SPACE, std::nullopt,
       {"result\tfailed\texit code 11; error 11: "}},
      {"a volume missing from the package's folder", Spanning,
       [](InstallMachine& m) { m.sim.DeleteFileA("C:\\SETUP\\SETUP.D01"); }, 0, "",
       ERR_DISK_CANCELLED, std::nullopt, {"failed\tC:\\App\\", "result\tfailed\texit code 15"}},
      {"a volume cut short", Spanning,
       [](InstallMachine& m) {
         const char* volume = "C:\\SETUP\\SETUP.D01";
         m.sim.AddFile(volume, m.sim.FileContents(volume)->substr(0, 100));
       }, 0, "", ERR_CORRUPT, std::nullopt, {"result\tfailed\texit code 18"}},
      {"a damaged file keeps the older one", [&](InstallMachine& m, tools::Project& p) {
         // Stored as it is, so that one of its bytes can be found and spoilt.
         tools::FileSpec& tool = p.components[0].files[0];
         std::ofstream(tool.source, std::ios::binary) << Noise(3000);
         tool.size = 3000;
         m.sim.AddFile(kTarget, kOld);
       }, [&](InstallMachine& m) {
         std::string bytes = m.PackageBytes();
         size_t at = bytes.find(Noise(3000).substr(1000, 64));
         ASSERT_NE(at, std::string::npos);
         bytes[at] ^= 0x55;
         m.sim.AddFile(InstallMachine::kPackage, bytes);
       }, 0, "", ERR_CHECKSUM, kOld,
       {"failed\tC:\\App\\tool.dll\terror 21: ", "result\tfailed\texit code 21; error 21: "}},
      {"a package cut in its records", nullptr, [](InstallMachine& m) {
         m.sim.AddFile(InstallMachine::kPackage, m.PackageBytes().substr(0, 100));
       }, 0, "", QUIET_NO_PACKAGE, std::nullopt, {"result\tnot installed\texit code -1"}},
      {"the second component into a folder of its own", nullptr, nullptr, 1, "C:\\Other Place",
       QUIET_DONE, std::nullopt,
       {"folder\tC:\\Other Place\tmade", "installed\tC:\\Other Place\\second.txt\tnew"}},
      {"a folder relative to the current one", nullptr, nullptr, 0, "Rel\\Sub", QUIET_DONE,
       std::nullopt, {"folder\tC:\\SETUP\\Rel\\Sub\tmade", "result\tinstalled"}},
      {"no such component", nullptr, nullptr, 2, "", QUIET_BAD_COMPONENT, std::nullopt,
       {"result\tnot installed\texit code 87"}},
      {"a component that is no number", nullptr, nullptr, -1, "", QUIET_BAD_COMPONENT,
       std::nullopt, {}},
      {"a forbidden character", nullptr, nullptr, 0, "C:\\bad|name", QUIET_BAD_FOLDER,
       std::nullopt,
       {"folder\tC:\\bad|name\tforbidden character",
        "result\tnot installed\texit code 5"}},
      {"a colon past the drive", nullptr, nullptr, 0, "C:\\a:b", QUIET_BAD_FOLDER, std::nullopt,
       {}},
      {"a folder too long", nullptr, nullptr, 0, deep, QUIET_BAD_FOLDER, std::nullopt,
       {"folder\t" + deep.substr(0, 259) + "\ttoo long or empty"}},
      {"a folder that cannot be made", nullptr, nullptr, 0, "E:\\App", QUIET_BAD_FOLDER,
       std::nullopt, {"folder\tE:\\App\tcannot be made"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    m.sim.AddDrive('D', 4096, 4096);
    m.sim.currentFolder = "C:\\SETUP";
    tools::FileSpec tool = m.File("tool.dll", kNew);
    tool.desktopName = tool.shortcutName = "Tool";
    tool.shortcutFolder = "Demo";
    tools::FileSpec uninstaller = m.File("uninst.exe", "log");
    uninstaller.uninstaller = true;
    tools::Project project = m.Project({tool, m.File("readme.txt", std::string(4000, 'r')),
                                        uninstaller});
    project.components[0].ini = {{false, "#Windows#\\demo.ini", "Setup", "Folder", "#InstallDir#"}};
    project.components[0].registry = {{1, false, "Software\\Demo", "Folder", "#InstallDir#"}};
    tools::ComponentSpec second = project.components[0];
    second.displayName = "Second";
    second.defaultFolder = "C:\\Second\\";
    second.files = {m.File("second.txt", "second")};
    project.components.push_back(second);
    if (row.arrange) row.arrange(m, project);
    m.Build(project);
    if (row.spoil) row.spoil(m);
    std::vector<std::string> before = m.sim.ListFiles();

    EXPECT_EQ(m.RunQuiet(row.component, row.folder, kLog), row.code);
    EXPECT_EQ(m.sim.FileContents(kTarget), row.target);
    // Nothing reached the screen: every question had the policy's answer.
    EXPECT_TRUE(m.sim.messageBoxes.empty());
    // A run refused before it starts touches nothing but its log.
    if (row.code == QUIET_BAD_FOLDER || row.code == QUIET_BAD_COMPONENT) {
      std::vector<std::string> after = m.sim.ListFiles();
      std::erase_if(after, [](const std::string& f) { return TextEqualNoCase(f.c_str(), kLog); });
      EXPECT_EQ(after, before);
    }
    EXPECT_EQ(m.sim.FileExists("C:\\App\\tool.$$A"), row.code == QUIET_RESTART_NEEDED);
    EXPECT_EQ(m.context->run.restartNeeded, row.code == QUIET_RESTART_NEEDED);
    EXPECT_EQ(m.sim.delayedMoves.size(), row.code == QUIET_RESTART_NEEDED ? 1u : 0u);
    // The log: the lines asked for, in order, each a line's beginning; the
    // last line is the result.
    std::vector<std::string> lines = Lines(m.sim.FileContents(kLog).value_or(""));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("result\t", 0), 0u) << lines.back();
    size_t at = 0;
    for (const std::string& want : row.log) {
      while (at < lines.size() && lines[at].rfind(want, 0) != 0) ++at;
      EXPECT_LT(at, lines.size()) << "no line " << want << " in order in:\n"
                                  << m.sim.FileContents(kLog).value_or("");
    }
  }
}

// The loader's message about a damaged package: shown by the wizard, never
// by a quiet run, which ends with -1.
TEST(QuietInstallTest, DamagedPackageMessageNeverShows) {
  InstallMachine m;
  m.Build(m.Project({m.File("tool.dll", kNew)}));
  std::string bytes = m.PackageBytes();
  m.sim.AddFile(InstallMachine::kPackage, bytes.substr(0, bytes.size() - 10));
  EXPECT_EQ(m.RunQuiet(0, "", kLog), QUIET_NO_PACKAGE);
  EXPECT_TRUE(m.sim.messageBoxes.empty());
  EXPECT_FALSE(m.sim.FileExists(kTarget));
  EXPECT_EQ(Lines(*m.sim.FileContents(kLog)),
            std::vector<std::string>{"result\tnot installed\texit code -1"});
  m.context->run.quiet = false;
  FreePackage(*m.context);
  EXPECT_EQ(LoadPackage(*m.context), 0);
  EXPECT_EQ(m.sim.messageBoxes.size(), 1u);
}

// The policy, question by question: every kind has its answer, asked as the
// engine asks it, and none reaches the platform; untagged boxes are declined,
// except a message, which is taken as read.
TEST(QuietInstallTest, PolicyAnswersEveryQuestion) {
  const struct {
    Question question;
    uint32_t type;
    int answer;
  } rows[] = {
      {QUESTION_DISK_SPACE, kMbYesNo, kIdNo},        {QUESTION_READ_ONLY, kMbYesNo, kIdYes},
      {QUESTION_VERSION, kMbYesNo, kIdNo},           {QUESTION_LANGUAGE, kMbYesNo, kIdNo},
      {QUESTION_FILE_IN_USE, kMbAbortRetryIgnore, kIdAbort},
      {QUESTION_INSERT_DISK, kMbOkCancel, kIdCancel}, {QUESTION_LEAVE, kMbYesNo, kIdYes},
      {QUESTION_NONE, kMbOk | kMbIconInformation, kIdOk}, {QUESTION_NONE, kMbYesNo, kIdNo},
      {QUESTION_NONE, kMbOkCancel, kIdCancel},
  };
  SimPlatform sim;
  SetupContext context(sim);
  context.run.quiet = true;
  for (const auto& row : rows) {
    EXPECT_EQ(AskSetupQuestion(context, row.question, "?", row.type), row.answer) << row.question;
  }
  EXPECT_TRUE(sim.messageBoxes.empty());
  // Without quiet the same question goes to the screen.
  context.run.quiet = false;
  sim.answers.push_back(kIdYes);
  EXPECT_EQ(AskSetupQuestion(context, QUESTION_VERSION, "?", kMbYesNo), kIdYes);
  EXPECT_EQ(sim.messageBoxes.size(), 1u);
}

// The exit code of every way a run ends.
TEST(QuietInstallTest, ExitCodes) {
  struct Row {
    UnattendedResult result;
    int error;
    bool restart;
    int code;
  } rows[] = {
      {UNATTENDED_DONE, 0, false, 0},
      {UNATTENDED_DONE, 0, true, 3010},
      {UNATTENDED_FAILED, ERR_REPLACE, true, ERR_REPLACE},
      {UNATTENDED_DECLINED, ERR_DISK_SPACE, false, ERR_DISK_SPACE},
      {UNATTENDED_DECLINED, 0, false, ERR_TARGET_READ_ONLY},
      {UNATTENDED_ABORTED, ERR_DISK_CANCELLED, false, ERR_DISK_CANCELLED},
      {UNATTENDED_ABORTED, 0, false, ERR_CORRUPT},
      {UNATTENDED_UNANSWERED, 0, false, QUIET_UNANSWERED},
  };
  for (const Row& row : rows) {
    RunState run = {};
    run.error.number = row.error;
    run.restartNeeded = row.restart;
    EXPECT_EQ(QuietExitCode(row.result, run), row.code) << row.result << " " << row.error;
  }
}

}  // namespace
}  // namespace setup
