// Whole unattended install runs on the simulated machine, with packages from
// the package builder: one table per family, each row a run from start to
// finish that checks the files, the questions and the entry's state.
#include "install/install_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "install/install_file.h"
#include "package/entry_kinds.h"
#include "package/file_entry.h"
#include "platform/forwarding_platform.h"
#include "unit/support/install_machine.h"

namespace setup {
namespace {

using test::InstallMachine;

constexpr const char* kTarget = "C:\\App\\tool.dll";
constexpr const char* kTemporary = "C:\\App\\tool.$$A";
const std::string kNew = "new content " + std::string(5000, 'n');
const std::string kOld = "old content";

// Failures the simulated machine does not make by itself: what NT reports for
// a file held open, and deletes and renames that fail for other reasons.
class Quirks final : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  uint32_t heldDeleteError = 0;   // instead of access denied
  uint32_t deleteError = 0;       // every delete of kTarget fails so
  bool renameFails = false;       // renames onto kTarget fail
  int DeleteFileA(const char* path) override {
    if (deleteError != 0 && TextEqualNoCase(path, kTarget)) return Fail(deleteError);
    int ok = inner_.DeleteFileA(path);
    if (!ok && heldDeleteError != 0 && inner_.GetLastError() == kErrorAccessDenied) {
      return Fail(heldDeleteError);
    }
    return ok;
  }
  int MoveFileA(const char* from, const char* to) override {
    if (renameFails && TextEqualNoCase(to, kTarget)) return Fail(kErrorAccessDenied);
    return inner_.MoveFileA(from, to);
  }
  uint32_t GetLastError() override { return error_ != 0 ? error_ : inner_.GetLastError(); }
  // Another program takes hold of a file between the disk check and the run.
  std::function<void()> beforeFirstCreate;
  FileHandle CreateFileA(const char* path, uint32_t access, uint32_t share,
                         uint32_t disposition) override {
    if (disposition == kCreateAlways && beforeFirstCreate) {
      beforeFirstCreate();
      beforeFirstCreate = nullptr;
    }
    error_ = 0;
    return inner_.CreateFileA(path, access, share, disposition);
  }

 private:
  int Fail(uint32_t error) {
    error_ = error;
    return 0;
  }
  uint32_t error_ = 0;
};

enum Target { ABSENT, EXISTING, READ_ONLY, HELD, HELD_IDENTICAL };

// One file into the destination folder, against each state of its target and
// each answer to the question it brings.
TEST(InstallRunTest, OneFileAgainstItsTarget) {
  struct Row {
    const char* what;
    Target target;
    std::vector<ScriptedAnswer> script;
    uint32_t heldDeleteError, deleteError;
    bool renameFails;
    UnattendedResult result;
    int error;
    const std::string* content;   // the target's afterwards; null: none
    const std::string* temporary;  // what stays under the temporary name
    uint16_t state;
    std::vector<Question> questions;
  };
  const auto IN_USE = QUESTION_FILE_IN_USE;
  const Row rows[] = {
      {"no file yet", ABSENT, {}, 0, 0, false, UNATTENDED_DONE, 0, &kNew, nullptr, STATE_NEW, {}},
      {"a file to replace", EXISTING, {}, 0, 0, false, UNATTENDED_DONE, 0, &kNew, nullptr,
       STATE_DONE, {}},
      {"a read-only file", READ_ONLY, {{QUESTION_READ_ONLY, kIdYes}}, 0, 0, false,
       UNATTENDED_DONE, 0, &kNew, nullptr, STATE_DONE, {QUESTION_READ_ONLY}},
      {"a read-only file, not to be replaced", READ_ONLY, {{QUESTION_READ_ONLY, kIdNo}}, 0, 0,
       false, UNATTENDED_DECLINED, 0, &kOld, nullptr, STATE_IDLE, {QUESTION_READ_ONLY}},
      {"held open: Abort", HELD, {{IN_USE, kIdAbort}}, 0, 0, false, UNATTENDED_FAILED,
       ERR_REPLACE, &kOld, nullptr, STATE_REPLACING, {IN_USE}},
      {"held open: Ignore", HELD, {{IN_USE, kIdIgnore}}, 0, 0, false, UNATTENDED_DONE, 0, &kOld,
       nullptr, STATE_DONE, {IN_USE}},
      {"held open: Retry, then closed", HELD, {{IN_USE, kIdRetry}}, 0, 0, false, UNATTENDED_DONE,
       0, &kNew, nullptr, STATE_DONE, {IN_USE}},
      {"held open, NT's sharing violation: Ignore", HELD, {{IN_USE, kIdIgnore}}, 32, 0, false,
       UNATTENDED_DONE, 0, &kOld, nullptr, STATE_DONE, {IN_USE}},
      {"held open, a lock violation: Abort", HELD, {{IN_USE, kIdAbort}}, 33, 0, false,
       UNATTENDED_FAILED, ERR_REPLACE, &kOld, nullptr, STATE_REPLACING, {IN_USE}},
      {"held open, nobody to answer", HELD, {}, 0, 0, false, UNATTENDED_UNANSWERED, ERR_REPLACE,
       &kOld, nullptr, STATE_REPLACING, {IN_USE}},
      {"held open with the new content already", HELD_IDENTICAL, {}, 0, 0, false,
       UNATTENDED_DONE, 0, &kNew, nullptr, STATE_DONE, {}},
      {"a delete that fails otherwise", EXISTING, {}, 0, kErrorInvalidParameter, false,
       UNATTENDED_FAILED, ERR_REPLACE, &kOld, nullptr, STATE_REPLACING, {}},
      {"a rename that fails keeps the new content", EXISTING, {}, 0, 0, true, UNATTENDED_FAILED,
       ERR_REPLACE, nullptr, &kNew, STATE_REPLACING, {}},
      {"a rename that fails where nothing was", ABSENT, {}, 0, 0, true, UNATTENDED_FAILED,
       ERR_REPLACE, nullptr, &kNew, STATE_REPLACING, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    m.Build(m.Project({m.File("tool.dll", kNew)}));
    m.sim.AddFolder("C:\\App");
    if (row.target != ABSENT) {
      m.sim.AddFile(kTarget, row.target == HELD_IDENTICAL ? kNew : kOld,
                    row.target == READ_ONLY ? kAttrReadOnly : kAttrNormal);
    }
    Quirks quirks(m.sim);
    if (row.target == HELD || row.target == HELD_IDENTICAL) {
      quirks.beforeFirstCreate = [&] {
        m.sim.HoldOpenByOtherProcess(kTarget, true, row.target == HELD_IDENTICAL);
      };
      m.onQuestion = [&](const test::AskedRecord& asked) {
        if (asked.answer == kIdRetry) m.sim.HoldOpenByOtherProcess(kTarget, false);
      };
    }
    quirks.heldDeleteError = row.heldDeleteError;
    quirks.deleteError = row.deleteError;
    quirks.renameFails = row.renameFails;
    EXPECT_EQ(m.Run(row.script, 0, &quirks), row.result);
    EXPECT_EQ(m.context->run.error.number, row.error);
    if (row.error != 0) {
      EXPECT_STREQ(m.context->run.error.subject, kTarget);
    }
    EXPECT_EQ(m.sim.FileContents(kTarget), row.content ? std::optional(*row.content) : std::nullopt);
    EXPECT_EQ(m.sim.FileContents(kTemporary),
              row.temporary ? std::optional(*row.temporary) : std::nullopt);
    EXPECT_EQ(EntryState(m.context->current.firstEntry), row.state);
    EXPECT_EQ(m.Questions(), row.questions);
    // A read-only target is read-only again; no other file becomes so.
    uint32_t attributes = m.sim.GetFileAttributesA(kTarget);
    if (row.content != nullptr) {
      EXPECT_EQ((attributes & kAttrReadOnly) != 0, row.target == READ_ONLY);
    }
    for (const test::AskedRecord& asked : m.asked) {
      EXPECT_EQ(asked.answered, !row.script.empty());
      if (asked.question != IN_USE) continue;
      EXPECT_EQ(asked.type, kMbAbortRetryIgnore);
      EXPECT_NE(asked.text.find(kTarget), std::string::npos) << asked.text;
    }
    EXPECT_FALSE(m.context->run.inputOpen);
    EXPECT_FALSE(m.context->run.restartNeeded);
  }
}

// The version and language questions, against an existing file whose
// product and file versions are both 2.5 (0x00020005.0) and language 0x0409.
TEST(InstallRunTest, VersionAndLanguageQuestions) {
  struct Row {
    const char* what;
    bool checkVersion, checkLanguage;
    uint32_t productMS, fileMS, language;
    std::vector<ScriptedAnswer> script;
    UnattendedResult result;
    std::vector<Question> questions;
    bool replaced;
  };
  const auto VERSION = QUESTION_VERSION;
  const auto LANGUAGE = QUESTION_LANGUAGE;
  const uint32_t v25 = 0x00020005, v24 = 0x00020004, v26 = 0x00020006;
  const Row rows[] = {
      {"ours is older: No keeps the file", true, false, v24, v26, 0x409, {{VERSION, kIdNo}},
       UNATTENDED_DONE, {VERSION}, false},
      {"ours is older: Yes replaces it", true, false, v24, v26, 0x409, {{VERSION, kIdYes}},
       UNATTENDED_DONE, {VERSION}, true},
      {"ours is older and nobody answers", true, false, v24, v26, 0x409, {},
       UNATTENDED_UNANSWERED, {VERSION}, false},
      {"same product, older file version", true, false, v25, v24, 0x409, {{VERSION, kIdNo}},
       UNATTENDED_DONE, {VERSION}, false},
      {"a newer product wins over an older file version", true, false, v26, v24, 0x409, {},
       UNATTENDED_DONE, {}, true},
      {"the same version asks nothing", true, false, v25, v25, 0x409, {}, UNATTENDED_DONE, {},
       true},
      {"another language: No", false, true, v24, v24, 0x407, {{LANGUAGE, kIdNo}},
       UNATTENDED_DONE, {LANGUAGE}, false},
      {"the same language asks nothing", false, true, v24, v24, 0x409, {}, UNATTENDED_DONE, {},
       true},
      {"older and another language: Yes, then No", true, true, v24, v24, 0x407,
       {{VERSION, kIdYes}, {LANGUAGE, kIdNo}}, UNATTENDED_DONE, {VERSION, LANGUAGE}, false},
      {"older: No, so the language is not asked", true, true, v24, v24, 0x407,
       {{VERSION, kIdNo}}, UNATTENDED_DONE, {VERSION}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    tools::FileSpec file = m.File("tool.dll", kNew);
    file.checkVersion = row.checkVersion;
    file.checkLanguage = row.checkLanguage;
    file.version = {row.fileMS, 0, row.productMS, 0, row.language};
    m.Build(m.Project({file}));
    m.sim.AddFile(kTarget, kOld);
    m.sim.SetFileVersion(kTarget, v25, 0, 0x409);
    EXPECT_EQ(m.Run(row.script), row.result);
    EXPECT_EQ(m.Questions(), row.questions);
    EXPECT_EQ(*m.sim.FileContents(kTarget), row.replaced ? kNew : kOld);
    EXPECT_EQ(EntryState(m.context->current.firstEntry), row.replaced ? STATE_DONE : STATE_IDLE);
    for (const test::AskedRecord& asked : m.asked) {
      EXPECT_EQ(asked.type, kMbYesNo | kMbIconQuestion | kMbDefButton2);  // No by default
      EXPECT_NE(asked.text.find(kTarget), std::string::npos) << asked.text;
    }
  }
}

// Files that Windows holds: in the Windows and System folders they wait for
// the restart, on NT and on Windows 98, without a question; a font in use is
// kept silently; one that already holds the new content is not written.
TEST(InstallRunTest, FilesInUseOutsideTheDestination) {
  struct Row {
    const char* what;
    uint8_t folderKind;
    bool windowsNt, administrator, identical;
    UnattendedResult result;
    bool restart;
    uint16_t state;
    const char* target;
  };
  const Row rows[] = {
      {"System, NT", FOLDER_SYSTEM, true, true, false, UNATTENDED_DONE, true, STATE_IDLE,
       "C:\\WINDOWS\\SYSTEM\\tool.dll"},
      {"System, 98", FOLDER_SYSTEM, false, true, false, UNATTENDED_DONE, true, STATE_IDLE,
       "C:\\WINDOWS\\SYSTEM\\tool.dll"},
      {"System, NT without the right to move at restart", FOLDER_SYSTEM, true, false, false,
       UNATTENDED_FAILED, false, STATE_REPLACING, "C:\\WINDOWS\\SYSTEM\\tool.dll"},
      {"System, identical", FOLDER_SYSTEM, true, true, true, UNATTENDED_DONE, false, STATE_IDLE,
       "C:\\WINDOWS\\SYSTEM\\tool.dll"},
      {"Windows, NT", FOLDER_WINDOWS, true, true, false, UNATTENDED_DONE, true, STATE_DONE,
       "C:\\WINDOWS\\tool.dll"},
      {"Windows, 98", FOLDER_WINDOWS, false, true, false, UNATTENDED_DONE, true, STATE_DONE,
       "C:\\WINDOWS\\tool.dll"},
      {"a font", FOLDER_FONTS, true, true, false, UNATTENDED_DONE, false, STATE_DONE,
       "C:\\WINDOWS\\FONTS\\tool.dll"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    m.sim.windowsNt = row.windowsNt;
    m.sim.administrator = row.administrator;
    tools::FileSpec file = m.File("tool.dll", kNew);
    file.folderKind = row.folderKind;
    file.shared = true;
    m.Build(m.Project({file}));
    m.sim.AddFile(row.target, row.identical ? kNew : kOld);
    Quirks quirks(m.sim);
    // Windows takes hold of it after the disk check (which cannot write it).
    quirks.beforeFirstCreate = [&] { m.sim.HoldOpenByOtherProcess(row.target, true, true); };
    if (row.folderKind == FOLDER_SYSTEM) quirks.beforeFirstCreate();
    EXPECT_EQ(m.Run({}, 0, &quirks), row.result);
    EXPECT_TRUE(m.asked.empty());
    EXPECT_EQ(m.context->run.restartNeeded, row.restart);
    EXPECT_EQ(EntryState(m.context->current.firstEntry), row.state);
    EXPECT_EQ(*m.sim.FileContents(row.target), row.identical ? kNew : kOld);
    std::string temporary = std::string(row.target, TextLength(row.target) - 3) + "$$A";
    EXPECT_EQ(m.sim.FileExists(temporary), row.restart);
    size_t moves = m.sim.delayedMoves.size();
    auto wininit = m.sim.FileContents("C:\\WINDOWS\\WININIT.INI");
    EXPECT_EQ(moves, row.restart && row.windowsNt ? 1u : 0u);
    if (moves == 1) {
      EXPECT_TRUE(TextEqualNoCase(m.sim.delayedMoves[0].to.c_str(), row.target));
    }
    EXPECT_EQ(wininit.has_value(), row.restart && !row.windowsNt);
    // The count is raised whether or not the file was written.
    auto count = m.sim.RegistryValue(kHkeyLocalMachine,
                                     "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                                     row.target);
    EXPECT_EQ(count.has_value(), row.result == UNATTENDED_DONE);
  }
}

// A run of three files: a source-placed one, one whose temporary names A and
// B are taken, and a patch of the second; progress and names after each.
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
  tools::Project project =
      m.Project({source, m.File("a long folder name\\base.bin", base), patch});
  m.Build(project);
  m.sim.AddFile("C:\\App\\a long folder name\\base.$$A", "taken");
  m.sim.AddFile("C:\\App\\a long folder name\\base.$$B", "taken");
  ASSERT_EQ(m.Run({}), UNATTENDED_DONE);
  EXPECT_FALSE(m.sim.FileExists("C:\\App\\readme.txt"));
  EXPECT_FALSE(m.sim.FileExists("C:\\SETUP\\readme.txt"));
  EXPECT_EQ(m.sim.FileContents("C:\\App\\a long folder name\\base.bin"), base);
  EXPECT_FALSE(m.sim.FileExists("C:\\App\\a long folder name\\base.$$C"));
  EXPECT_EQ(m.sim.FileContents("C:\\App\\a long folder name\\base.$$B"), "taken");
  EXPECT_EQ(m.sim.FileContents("C:\\App\\sub\\patched.bin"), patched);
  EXPECT_EQ(m.sim.ListFiles().size(), 6u) << ::testing::PrintToString(m.sim.ListFiles());
  // The source file keeps its role and its desktop shortcut, which points there.
  ASSERT_NE(m.context->run.documentEntry, nullptr);
  EXPECT_EQ(m.sim.links.at("C:\\WINDOWS\\Desktop\\Read me.lnk").path, "C:\\SETUP\\readme.txt");
  EXPECT_EQ(m.progress.back(), 100);
  EXPECT_EQ(std::vector<int>({33, 66}), std::vector<int>(m.progress.begin(), m.progress.begin() + 2));
  EXPECT_EQ(m.shown, std::vector<std::string>({"C:\\SETUP\\readme.txt", "C:\\App\\...\\base.bin",
                                               "C:\\App\\sub\\patched.bin"}));
}

// Damaged or unusable data ends the run with the old file untouched and no
// temporary file left.
TEST(InstallRunTest, RunsThatStop) {
  struct Row {
    const char* what;
    std::function<void(InstallMachine&)> spoil;
    UnattendedResult result;
    int error;
    std::string subject;
  };
  const auto FlipStoredByte = [](InstallMachine& m) {
    std::string bytes = m.PackageBytes();
    bytes[bytes.size() - 8] ^= 0x55;
    m.sim.AddFile(InstallMachine::kPackage, bytes);
  };
  const Row rows[] = {
      {"a corrupted stream", FlipStoredByte, UNATTENDED_FAILED, ERR_CHECKSUM, kTarget},
      {"no package file at the start of the run",
       [](InstallMachine& m) {
         m.beforeRun = [&m](SetupContext&) { m.sim.DeleteFileA(InstallMachine::kPackage); };
       },
       UNATTENDED_FAILED, ERR_OPEN, InstallMachine::kPackage},
      {"temporary names A to Z all taken",
       [](InstallMachine& m) {
         for (char c = 'A'; c <= 'Z'; ++c) m.sim.AddFile(std::string("C:\\App\\tool.$$") + c, "");
       },
       UNATTENDED_FAILED, ERR_CREATE, kTarget},
      {"a temporary path past 260 characters",
       [](InstallMachine& m) {
         m.beforeRun = [](SetupContext& c) {
           std::string folder = "C:\\" + std::string(250, 'd') + "\\";
           CopyText(c.current.destinationFolder, kPathSize, folder.c_str());
         };
       },
       UNATTENDED_FAILED, ERR_CREATE, "C:\\" + std::string(250, 'd') + "\\tool.dll"},
      {"package data cut short after the load",
       [](InstallMachine& m) {
         m.beforeRun = [&m](SetupContext&) {
           std::string bytes = m.PackageBytes();
           m.sim.AddFile(InstallMachine::kPackage, bytes.substr(0, bytes.size() - 20));
         };
       },
       UNATTENDED_ABORTED, 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallMachine m;
    m.Build(m.Project({m.File("tool.dll", kNew)}));
    m.sim.AddFile(kTarget, kOld);
    row.spoil(m);
    size_t taken = m.sim.ListFiles().size() - 2;  // names taken before the run
    EXPECT_EQ(m.Run({}), row.result);
    EXPECT_EQ(m.context->run.error.number, row.error);
    EXPECT_EQ(m.context->run.error.subject, row.subject.substr(0, kPathSize - 1));
    EXPECT_EQ(m.sim.FileContents(kTarget), kOld);
    size_t temporaries = 0;
    for (const std::string& name : m.sim.ListFiles()) temporaries += name.find(".$$") != std::string::npos;
    EXPECT_EQ(temporaries, taken);
    EXPECT_EQ(m.sim.OpenHandleCount(), 0u);
    EXPECT_FALSE(m.sim.RegistryKeyExists(
        kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"));
  }
}

// The shortened names the progress page shows.
TEST(InstallRunTest, ShortenPathForDisplay) {
  const std::pair<std::string, std::string> rows[] = {
      {"C:\\Program Files\\Tools\\Sub\\file.exe", "C:\\Program Files\\...\\file.exe"},
      {"C:\\VeryLongFolderNameHere\\AnotherLongFolder\\x.dll", "C:\\...\\x.dll"},
      {"C:\\short\\path.txt", "C:\\short\\path.txt"},
      {"C:\\abc\\a-file-name-that-is-long-enough.txt", "C:\\...\\a-file-name-that-is-long-enough.txt"},
      {"C:\\ab\\a-file-name-that-is-long-enough.txt", "C:\\ab\\a-file-name-that-is-long-enough.txt"},
      {"no-backslash-in-this-rather-long-name.txt", "no-backslash-in-this-rather-long-name.txt"},
      {"C:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n\\o.txt", "C:\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\...\\o.txt"},
  };
  for (const auto& [path, shown] : rows) {
    std::string text = path;
    ShortenPathForDisplay(text.data(), 30);
    EXPECT_EQ(std::string(text.c_str()), shown);
  }
}

}  // namespace
}  // namespace setup
