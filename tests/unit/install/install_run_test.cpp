// Whole unattended install runs on the simulated machine, with packages from
// the package builder: one table per family, each row a run from start to
// finish that checks the files, the questions and the entry's state.
#include "install/install_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/text_format.h"
#include "install/install_file.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "platform/forwarding_platform.h"
#include "unit/support/install_machine.h"

namespace setup {
namespace {

using test::InstallMachine;

constexpr const char* kTarget = "C:\\App\\tool.dll";
const std::string kNew = "new content " + std::string(5000, 'n');
const std::string kOld = "old content";
constexpr auto IN_USE = QUESTION_FILE_IN_USE;
constexpr auto DONE = UNATTENDED_DONE;
constexpr auto FAILED = UNATTENDED_FAILED;

// What the simulated machine does not do by itself: NT's errors for a file
// held open, deletes and renames of kTarget that fail otherwise, and another
// program taking hold of a file between the disk check and the first write.
enum Quirk { NONE, SHARING, LOCK, DELETE_FAILS, RENAME_FAILS };
class Quirks final : public ForwardingPlatform {
 public:
  Quirks(Platform& inner, Quirk quirk) : ForwardingPlatform(inner), quirk_(quirk) {}
  std::function<void()> beforeFirstCreate;
  int DeleteFileA(const char* path) override {
    error_ = quirk_ == DELETE_FAILS && TextEqualNoCase(path, kTarget) ? 87 : 0;
    if (error_ != 0 || inner_.DeleteFileA(path)) return error_ == 0;
    if (inner_.GetLastError() == kErrorAccessDenied && (quirk_ == SHARING || quirk_ == LOCK)) {
      error_ = quirk_ == SHARING ? 32 : 33;
    }
    return 0;
  }
  int MoveFileA(const char* from, const char* to) override {
    error_ = quirk_ == RENAME_FAILS && TextEqualNoCase(to, kTarget) ? kErrorAccessDenied : 0;
    return error_ == 0 && inner_.MoveFileA(from, to);
  }
  uint32_t GetLastError() override { return error_ != 0 ? error_ : inner_.GetLastError(); }
  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share, uint32_t how) override {
    error_ = 0;
    if (how == kCreateAlways && beforeFirstCreate) std::exchange(beforeFirstCreate, nullptr)();
    return inner_.CreateFileA(path, access, share, how);
  }

 private:
  Quirk quirk_;
  uint32_t error_ = 0;
};

enum Target { ABSENT, EXISTING, READ_ONLY, HELD, HELD_SAME };
enum Left { NOTHING, OLD, NEW };  // the target's content afterwards

// One file into the destination folder, against each state of its target and
// each answer to the question it brings.
TEST(InstallRunTest, OneFileAgainstItsTarget) {
  // The questions asked are the script's; a run without one asks about the
  // file in use when it ends unanswered. A target left with nothing has the
  // new content under the temporary name.
  struct Row {
    const char* what;
    Target target;
    std::vector<ScriptedAnswer> script;
    Quirk quirk;
    UnattendedResult result;
    int error;
    Left left;
    uint16_t state;
  };
  constexpr auto RO = QUESTION_READ_ONLY;
  constexpr auto REPLACING = STATE_REPLACING;
  const Row rows[] = {
      {"no file yet", ABSENT, {}, NONE, DONE, 0, NEW, STATE_NEW},
      {"a file to replace", EXISTING, {}, NONE, DONE, 0, NEW, STATE_DONE},
      {"read-only: Yes", READ_ONLY, {{RO, kIdYes}}, NONE, DONE, 0, NEW, STATE_DONE},
      {"read-only: No", READ_ONLY, {{RO, kIdNo}}, NONE, UNATTENDED_DECLINED, 0, OLD, STATE_IDLE},
      {"held: Abort", HELD, {{IN_USE, kIdAbort}}, NONE, FAILED, 22, OLD, REPLACING},
      {"held: Ignore", HELD, {{IN_USE, kIdIgnore}}, NONE, DONE, 0, OLD, STATE_DONE},
      {"held: Retry, closed meanwhile", HELD, {{IN_USE, kIdRetry}}, NONE, DONE, 0, NEW, STATE_DONE},
      {"held, NT's sharing error", HELD, {{IN_USE, kIdIgnore}}, SHARING, DONE, 0, OLD, STATE_DONE},
      {"held, a lock violation", HELD, {{IN_USE, kIdAbort}}, LOCK, FAILED, 22, OLD, REPLACING},
      {"held, nobody answers", HELD, {}, NONE, UNATTENDED_UNANSWERED, 22, OLD, REPLACING},
      {"held, the new content already", HELD_SAME, {}, NONE, DONE, 0, NEW, STATE_DONE},
      {"a delete that fails otherwise", EXISTING, {}, DELETE_FAILS, FAILED, 22, OLD, REPLACING},
      {"a failed rename", EXISTING, {}, RENAME_FAILS, FAILED, 22, NOTHING, REPLACING},
      {"a failed rename, nothing there", ABSENT, {}, RENAME_FAILS, FAILED, 22, NOTHING, REPLACING},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    m.Build(m.Project({m.File("tool.dll", kNew)}));
    m.sim.AddFolder("C:\\App");
    if (row.target != ABSENT) {
      m.sim.AddFile(kTarget, row.target == HELD_SAME ? kNew : kOld,
                    row.target == READ_ONLY ? kAttrReadOnly : kAttrNormal);
    }
    Quirks& quirks = m.Wrap<Quirks>(row.quirk);
    if (row.target >= HELD) {
      quirks.beforeFirstCreate = [&] {
        m.sim.HoldOpenByOtherProcess(kTarget, true, row.target == HELD_SAME);
      };
    }
    m.onQuestion = [&](const test::AskedRecord& asked) {
      if (asked.answer == kIdRetry) m.sim.HoldOpenByOtherProcess(kTarget, false);
      EXPECT_EQ(asked.answered, !row.script.empty());
      if (asked.question != IN_USE) return;
      EXPECT_EQ(asked.type, kMbAbortRetryIgnore);
      EXPECT_NE(asked.text.find(kTarget), std::string::npos) << asked.text;
    };
    EXPECT_EQ(m.Run(row.script), row.result);
    EXPECT_EQ(m.context->run.error.number, row.error);
    if (row.error != 0) {
      EXPECT_STREQ(m.context->run.error.subject, kTarget);
    }
    const std::optional<std::string> left[] = {std::nullopt, kOld, kNew};
    EXPECT_EQ(m.sim.FileContents(kTarget), left[row.left]);
    EXPECT_EQ(m.sim.FileContents("C:\\App\\tool.$$A"), row.left == NOTHING ? left[NEW] : left[0]);
    EXPECT_EQ(EntryState(m.context->current.firstEntry), row.state);
    std::vector<Question> asked;
    for (const ScriptedAnswer& answer : row.script) asked.push_back(answer.question);
    if (row.result == UNATTENDED_UNANSWERED) asked = {IN_USE};
    EXPECT_EQ(m.Questions(), asked);
    // A replaced read-only target is read-only again; no other file becomes so.
    if (row.left != NOTHING) {
      EXPECT_EQ((m.sim.GetFileAttributesA(kTarget) & kAttrReadOnly) != 0, row.target == READ_ONLY);
    }
    EXPECT_FALSE(m.context->run.inputOpen);
  }
}

// The questions about an existing file whose product and file versions are
// both 2.5 and whose language is 0x0409.
TEST(InstallRunTest, VersionAndLanguageQuestions) {
  struct Row {
    const char* what;
    uint32_t productMS, fileMS, language;  // ours; language 0: not checked
    bool checkVersion;
    std::vector<ScriptedAnswer> script;
    UnattendedResult result;
    std::vector<Question> asked;
    bool replaced;
  };
  constexpr auto VERSION = QUESTION_VERSION;
  constexpr auto LANGUAGE = QUESTION_LANGUAGE;
  const uint32_t v24 = 0x20004, v25 = 0x20005, v26 = 0x20006;
  const Row rows[] = {
      {"older: No keeps it", v24, v26, 0, true, {{VERSION, kIdNo}}, DONE, {VERSION}, false},
      {"older: Yes replaces it", v24, v26, 0, true, {{VERSION, kIdYes}}, DONE, {VERSION}, true},
      {"older, nobody answers", v24, v26, 0, true, {}, UNATTENDED_UNANSWERED, {VERSION}, false},
      {"same product, older file", v25, v24, 0, true, {{VERSION, kIdNo}}, DONE, {VERSION}, false},
      {"newer product, older file", v26, v24, 0, true, {}, DONE, {}, true},
      {"the same version", v25, v25, 0, true, {}, DONE, {}, true},
      {"other language: No", v24, v24, 0x407, false, {{LANGUAGE, kIdNo}}, DONE, {LANGUAGE}, false},
      {"the same language", v24, v24, 0x409, false, {}, DONE, {}, true},
      {"older, another language: Yes, No", v24, v24, 0x407, true,
       {{VERSION, kIdYes}, {LANGUAGE, kIdNo}}, DONE, {VERSION, LANGUAGE}, false},
      {"older: No; language not asked", v24, v24, 0x407, true, {{VERSION, kIdNo}}, DONE,
       {VERSION}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    tools::FileSpec file = m.File("tool.dll", kNew);
    file.checkVersion = row.checkVersion;
    file.checkLanguage = row.language != 0;
    file.version = {row.fileMS, 0, row.productMS, 0, row.language};
    m.Build(m.Project({file}));
    m.sim.AddFile(kTarget, kOld);
    m.sim.SetFileVersion(kTarget, v25, 0, 0x409);
    EXPECT_EQ(m.Run(row.script), row.result);
    EXPECT_EQ(m.Questions(), row.asked);
    EXPECT_EQ(*m.sim.FileContents(kTarget), row.replaced ? kNew : kOld);
    EXPECT_EQ(EntryState(m.context->current.firstEntry), row.replaced ? STATE_DONE : STATE_IDLE);
    for (const test::AskedRecord& asked : m.asked) {
      EXPECT_EQ(asked.type, kMbYesNo | kMbIconQuestion | kMbDefButton2);  // No by default
      EXPECT_NE(asked.text.find(kTarget), std::string::npos) << asked.text;
    }
  }
}

// Files Windows holds: in the Windows and System folders they wait for the
// restart, on NT and on 98, without a question; a font in use is kept
// silently; one that already holds the new content is not written. Their
// shared-file count is raised either way.
TEST(InstallRunTest, FilesInUseOutsideTheDestination) {
  struct Row {
    const char* what;
    uint8_t folderKind;
    bool windowsNt, administrator, identical;
    UnattendedResult result;
    bool restart;
    uint16_t state;
    bool sharedDllsKey = true;  // false: the first shared file makes the key
  };
  const Row rows[] = {
      {"System, NT", FOLDER_SYSTEM, true, true, false, DONE, true, STATE_IDLE},
      {"System, 98, no SharedDLLs key yet", FOLDER_SYSTEM, false, true, false, DONE, true,
       STATE_IDLE, false},
      {"System, NT, no right to move", FOLDER_SYSTEM, true, false, false, FAILED, false,
       STATE_REPLACING},
      {"System, identical", FOLDER_SYSTEM, true, true, true, DONE, false, STATE_IDLE},
      {"Windows, NT", FOLDER_WINDOWS, true, true, false, DONE, true, STATE_DONE},
      {"Windows, 98", FOLDER_WINDOWS, false, true, false, DONE, true, STATE_DONE},
      {"a font", FOLDER_FONTS, true, true, false, DONE, false, STATE_DONE},
  };
  const char* folders[] = {"", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", InstallMachine::kFonts};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m(row.sharedDllsKey);
    m.sim.windowsNt = row.windowsNt;
    m.sim.administrator = row.administrator;
    tools::FileSpec file = m.File("tool.dll", kNew);
    file.folderKind = row.folderKind;
    file.shared = true;
    m.Build(m.Project({file}));
    std::string target = std::string(folders[row.folderKind]) + "\\tool.dll";
    m.sim.AddFile(target, row.identical ? kNew : kOld);
    Quirks& quirks = m.Wrap<Quirks>(NONE);
    // Windows takes hold after the disk check, which cannot write it; the
    // shared-file search sees a System file in use from the start.
    quirks.beforeFirstCreate = [&] { m.sim.HoldOpenByOtherProcess(target, true, true); };
    if (row.folderKind == FOLDER_SYSTEM) quirks.beforeFirstCreate();
    EXPECT_EQ(m.Run({}), row.result);
    EXPECT_TRUE(m.asked.empty());
    EXPECT_EQ(m.context->run.restartNeeded, row.restart);
    EXPECT_EQ(EntryState(m.context->current.firstEntry), row.state);
    EXPECT_EQ(*m.sim.FileContents(target), row.identical ? kNew : kOld);
    EXPECT_EQ(m.sim.FileExists(target.substr(0, target.size() - 3) + "$$A"), row.restart);
    EXPECT_EQ(m.sim.delayedMoves.size(), row.restart && row.windowsNt ? 1u : 0u);
    EXPECT_EQ(m.sim.FileExists("C:\\WINDOWS\\WININIT.INI"), row.restart && !row.windowsNt);
    EXPECT_EQ(m.sim.RegistryValue(kHkeyLocalMachine, InstallMachine::kSharedDlls, target),
              row.result == DONE ? std::optional(std::pair(kRegDword, std::string("\1\0\0\0", 4)))
                                 : std::nullopt);
  }
}

// Three files: one taken from the source folder, one whose temporary names A
// and B are taken, and a patch of it; the progress and names after each.
TEST(InstallRunTest, SourceFilesTemporaryNamesPatchesAndProgress) {
  InstallMachine m;
  const std::string base = std::string(3000, 'b') + "middle" + std::string(3000, 'c');
  const std::string patched = std::string(3000, 'b') + "MIDDLE!" + std::string(3000, 'c');
  tools::FileSpec source = m.File("readme.txt", "");
  source.placement = PLACE_SOURCE;
  source.finishRole = ROLE_DOCUMENT;
  source.desktopName = "Read me";
  tools::FileSpec patch = m.File("sub\\patched.bin", patched);
  patch.patchFrom = tools::PatchBaseRef{0, 1};
  m.Build(m.Project({source, m.File("a long folder name\\base.bin", base), patch}));
  const std::string folder = "C:\\App\\a long folder name\\";
  m.sim.AddFile(folder + "base.$$A", "A");
  m.sim.AddFile(folder + "base.$$B", "B");
  ASSERT_EQ(m.Run({}), DONE);
  EXPECT_EQ(m.sim.FileContents(folder + "base.bin"), base);
  EXPECT_EQ(m.sim.FileContents(folder + "base.$$B"), "B");
  EXPECT_EQ(m.sim.FileContents("C:\\App\\sub\\patched.bin"), patched);
  EXPECT_EQ(m.sim.ListFiles().size(), 6u) << ::testing::PrintToString(m.sim.ListFiles());
  // The source file keeps its role and its desktop shortcut, which points there.
  EXPECT_NE(m.context->run.documentEntry, nullptr);
  EXPECT_EQ(m.sim.links.at("C:\\WINDOWS\\Desktop\\Read me.lnk").path, "C:\\SETUP\\readme.txt");
  EXPECT_EQ(std::vector<int>(m.progress.begin(), m.progress.begin() + 2), std::vector({33, 66}));
  EXPECT_EQ(m.progress.back(), 100);
  EXPECT_EQ(m.shown, (std::vector<std::string>{"C:\\SETUP\\readme.txt", "C:\\App\\...\\base.bin",
                                               "C:\\App\\sub\\patched.bin"}));
}

// Runs that stop: the old file untouched, no temporary file left, nothing of
// the finishing step done.
TEST(InstallRunTest, RunsThatStop) {
  const std::string deep = "C:\\" + std::string(250, 'd') + "\\";
  struct Row {
    const char* what;
    std::function<void(InstallMachine&, SetupContext&)> spoil;
    std::vector<ScriptedAnswer> script;
    UnattendedResult result;
    int error;
    std::string subject;
  };
  const auto PutPackage = [](InstallMachine& m, const std::string& bytes) {
    m.sim.AddFile(InstallMachine::kPackage, bytes);
  };
  const auto OnD = [](InstallMachine&, SetupContext& c) {
    CopyText(c.current.destinationFolder, kPathSize, "D:\\");
  };
  const Row rows[] = {
      {"a corrupted stream", [&](InstallMachine& m, SetupContext&) {
         std::string bytes = m.PackageBytes();
         bytes[bytes.size() - 8] ^= 0x55;
         PutPackage(m, bytes);
       }, {}, FAILED, ERR_CHECKSUM, kTarget},
      {"no package file", [](InstallMachine& m, SetupContext&) {
         m.sim.DeleteFileA(InstallMachine::kPackage);
       }, {}, FAILED, ERR_OPEN, InstallMachine::kPackage},
      {"package data cut short", [&](InstallMachine& m, SetupContext&) {
         PutPackage(m, m.PackageBytes().substr(0, m.PackageBytes().size() - 20));
       }, {}, UNATTENDED_ABORTED, ERR_CORRUPT, InstallMachine::kPackage},
      {"temporary names A to Z taken", [](InstallMachine& m, SetupContext&) {
         for (char c = 'A'; c <= 'Z'; ++c) m.sim.AddFile(std::string("C:\\App\\tool.$$") + c, "");
       }, {}, FAILED, ERR_CREATE, kTarget},
      {"a path past 260 characters", [&](InstallMachine&, SetupContext& c) {
         CopyText(c.current.destinationFolder, kPathSize, deep.c_str());
       }, {}, FAILED, ERR_CREATE, (deep + "tool.dll").substr(0, kPathSize - 1)},
      {"a full disk: No", OnD, {{QUESTION_DISK_SPACE, kIdNo}}, UNATTENDED_DECLINED, 11, ""},
      {"a full disk, nobody answers", OnD, {}, UNATTENDED_UNANSWERED, 11, ""},
      // Going on regardless: the write comes up short, and the disk is named full.
      {"a full disk: Yes", OnD, {{QUESTION_DISK_SPACE, kIdYes}}, FAILED, ERR_WRITE_SHORT,
       "D:\\tool.dll"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    m.sim.AddDrive('D', 4096, 4096);
    m.Build(m.Project({m.File("tool.dll", kNew)}));
    m.sim.AddFile(kTarget, kOld);
    const auto Temporaries = [&m] {
      size_t n = 0;
      for (const std::string& name : m.sim.ListFiles()) n += name.find(".$$") != name.npos;
      return n;
    };
    size_t temporaries = 0;
    m.beforeRun = [&](SetupContext& c) {
      row.spoil(m, c);
      temporaries = Temporaries();
    };
    EXPECT_EQ(m.Run(row.script), row.result);
    EXPECT_EQ(m.context->run.error.number, row.error);
    EXPECT_EQ(m.context->run.error.subject, row.subject);
    EXPECT_EQ(m.sim.FileContents(kTarget), kOld);
    EXPECT_EQ(Temporaries(), temporaries);
    EXPECT_EQ(m.sim.OpenHandleCount(), 0u);
    EXPECT_FALSE(m.sim.RegistryKeyExists(kHkeyLocalMachine, InstallMachine::kUninstallKey));
  }
}

// Package texts are formats only with exactly one "%s"; anything else is
// shown as it stands. And a run starts at the start of the package data,
// whatever an earlier reading left in the reader.
TEST(InstallRunTest, QuestionTextsAndTheReaderAtTheStart) {
  const char* rows[][2] = {{"In use: %s.", "In use: C:\\App\\tool.dll."},
                           {"100%% sure? %s", "100% sure? C:\\App\\tool.dll"},
                           {"%s or %s?", "%s or %s?"}, {"%s is %d", "%s is %d"},
                           {"No file.", "No file."}, {"%", "%"}};
  for (const auto& [text, shown] : rows) {
    InstallMachine m;
    tools::Project project = m.Project({m.File("tool.dll", kNew)});
    project.components[0].strings[6][22] = text;
    m.Build(project);
    m.sim.AddFile(kTarget, kOld);
    Quirks& quirks = m.Wrap<Quirks>(NONE);
    quirks.beforeFirstCreate = [&] { m.sim.HoldOpenByOtherProcess(kTarget); };
    m.beforeRun = [](SetupContext& c) {
      c.reader.volume = 3;
      c.reader.volumeBase = 12345;
      c.reader.volumeLength = c.reader.bytesLeft = c.reader.regionLength = 7;
      CopyText(c.reader.packagePath, kPathSize, "C:\\elsewhere.exe");
    };
    EXPECT_EQ(m.Run({{IN_USE, kIdIgnore}}), DONE);
    ASSERT_EQ(m.asked.size(), 1u);
    EXPECT_EQ(m.asked[0].text, shown);
  }
}

// The answering platform: answers by kind in script order, each once; what
// the script leaves open gets the answer that changes nothing and is marked.
TEST(InstallRunTest, AnsweringPlatform) {
  InstallMachine m;  // the recorder
  const ScriptedAnswer script[] = {
      {IN_USE, kIdRetry}, {QUESTION_VERSION, kIdYes}, {IN_USE, kIdIgnore}};
  struct Row { Question question; uint32_t type; int answer; bool answered; } rows[] = {
      {IN_USE, kMbAbortRetryIgnore, kIdRetry, true}, {IN_USE, kMbAbortRetryIgnore, kIdIgnore, true},
      {QUESTION_NONE, kMbOk, kIdOk, true}, {IN_USE, kMbAbortRetryIgnore, kIdAbort, false},
      {QUESTION_VERSION, kMbYesNo, kIdYes, true}, {QUESTION_LANGUAGE, kMbYesNo, kIdNo, false},
      {QUESTION_INSERT_DISK, kMbOkCancel, kIdCancel, false},
      {QUESTION_LEAVE, kMbYesNo, kIdYes, false},
      {QUESTION_NONE, kMbYesNoCancel, kIdCancel, false}};
  AnsweringPlatform answers(m.sim, script, 3, &m);
  RunState run{};
  answers.Follow(run);
  for (const Row& row : rows) {
    run.question = row.question;
    EXPECT_EQ(answers.MessageBoxA(0, "q", "caption", row.type), row.answer) << row.question;
    EXPECT_EQ(m.asked.back().text, "q");
    EXPECT_EQ(m.asked.back().answered, row.answered);
    EXPECT_EQ(answers.LeftUnanswered(), &row >= &rows[3]);
  }
  EXPECT_TRUE(m.sim.messageBoxes.empty());  // nothing reached a person
}

TEST(InstallRunTest, ShortenPathForDisplay) {
  const char* rows[][2] = {
      {"C:\\Program Files\\Tools\\Sub\\file.exe", "C:\\Program Files\\...\\file.exe"},
      {"C:\\VeryLongFolderNameHere\\AnotherLongFolder\\x.dll", "C:\\...\\x.dll"},
      {"C:\\short\\path.txt", "C:\\short\\path.txt"},
      {"C:\\abc\\a-file-name-long-enough.txt", "C:\\...\\a-file-name-long-enough.txt"},
      {"C:\\ab\\a-file-name-long-enough.txt", "C:\\ab\\a-file-name-long-enough.txt"},
      {"no-backslash-in-this-rather-long-name.txt", "no-backslash-in-this-rather-long-name.txt"},
      {"C:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n\\o.txt",
       "C:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\...\\o.txt"},
  };
  for (const auto& [path, shown] : rows) {
    std::string text = path;
    ShortenPathForDisplay(text.data(), 30);
    EXPECT_STREQ(text.c_str(), shown);
  }
}

}  // namespace
}  // namespace setup
