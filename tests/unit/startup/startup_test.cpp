#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/sim/sim_platform.h"
#include "startup/command_line.h"
#include "startup/relaunch.h"
#include "unit/support/fault_platform.h"

namespace setup {
namespace {

TEST(ParseCommandLine, SwitchesByTable) {
  constexpr int BAD = kComponentInvalid;
  struct Case {
    const char* text;
    const char* path;  // the package path afterwards (it starts as "orig")
    bool removable;
    bool quiet = false;
    int component = 0;
    const char* folder = "";
    const char* log = "";
  } cases[] = {
      {nullptr, "orig", false},
      {"", "orig", false},
      {"/S \"C:\\Temp Dir\\SETUP.EXE\" /DEL", "C:\\Temp Dir\\SETUP.EXE", true},
      {"/S\"A:\\SETUP.EXE\" /DEL", "A:\\SETUP.EXE", true},
      {"-s c:\\pkg.exe", "c:\\pkg.exe", false},
      {"/D", "orig", false},
      {"/de", "orig", false},
      {"/del", "orig", true},
      {"/DELETE", "orig", true},
      {"/X /S a.exe", "a.exe", false},
      {"setup /S a.exe", "orig", false},
      {"   -S   b.exe   -DEL", "b.exe", true},
      {"/S \"open ended", "open ended", false},
      {"/S", "", false},
      {"/S \"\" /DEL", "", true},
      {"/", "orig", false},
      // The quiet switches: values like /S's, in any case, after either sign.
      {"/Q", "orig", false, true},
      {"-quiet /c 2", "orig", false, true, 2},
      {"/Q /C\"1\" /F \"C:\\Program Files\\App\" /L log.txt", "orig", false, true, 1,
       "C:\\Program Files\\App", "log.txt"},
      {"/q /f C:\\My-App /l \"C:\\Temp\\setup log.txt\" /S x.exe", "x.exe", false, true, 0,
       "C:\\My-App", "C:\\Temp\\setup log.txt"},
      {"/L \"open ended", "orig", false, false, 0, "", "open ended"},
      {"/Q /C two", "orig", false, true, BAD},
      {"/Q /C 12345", "orig", false, true, BAD},
      {"/Q /C \"\"", "orig", false, true, BAD},
      {"/Q /C 9999 /F", "orig", false, true, 9999},
      {"/Q /C -1", "orig", false, true, BAD},
      {"/Q setup /C 1", "orig", false, true, 0},  // a word that is no switch ends it all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    char path[260] = "orig";
    CommandLine line = {};
    line.packagePath = path;
    ParseCommandLine(c.text, &line);
    EXPECT_STREQ(path, c.path);
    EXPECT_EQ(line.removableMedia, c.removable);
    EXPECT_EQ(line.quiet, c.quiet);
    EXPECT_EQ(line.component, c.component);
    EXPECT_STREQ(line.folder, c.folder);
    EXPECT_STREQ(line.logPath, c.log);
  }
}

TEST(ParseCommandLine, ProgramNameSkipped) {
  EXPECT_STREQ(SkipProgramName("\"C:\\My Temp\\_inst1.exe\" /S\"A:\\SETUP.EXE\" /DEL"),
               "/S\"A:\\SETUP.EXE\" /DEL");
  EXPECT_STREQ(SkipProgramName("A:\\SETUP.EXE  \t/S x"), "/S x");
  EXPECT_STREQ(SkipProgramName("SETUP.EXE"), "");
  EXPECT_STREQ(SkipProgramName("\"unclosed"), "");
}

TEST(ParseCommandLine, LongPathIsCutAt259) {
  std::string text = "/S " + std::string(400, 'x') + " /F " + std::string(300, 'f');
  char path[260];
  CommandLine line = {};
  line.packagePath = path;
  ParseCommandLine(text.c_str(), &line);
  EXPECT_EQ(std::strlen(path), 259u);
  EXPECT_EQ(std::strlen(line.folder), 259u);
}

TEST(Relaunch, DriveRootsAndCommand) {
  char root[4];
  EXPECT_TRUE(ProgramDriveRoot("A:\\SETUP.EXE", root));
  EXPECT_STREQ(root, "A:\\");
  EXPECT_FALSE(ProgramDriveRoot("\\\\server\\share\\SETUP.EXE", root));
  EXPECT_FALSE(ProgramDriveRoot("", root));
  char command[64];
  ASSERT_TRUE(BuildRelaunchCommand("C:\\My Temp\\_inst1.exe", "A:\\SETUP.EXE", "", command, 64));
  EXPECT_STREQ(command, "\"C:\\My Temp\\_inst1.exe\" /S\"A:\\SETUP.EXE\" /DEL");
  EXPECT_FALSE(
      BuildRelaunchCommand("C:\\My Temp\\_inst1.exe", "A:\\SETUP.EXE", nullptr, command, 40));
  // The caller's switches follow, so that a quiet run stays quiet.
  ASSERT_TRUE(BuildRelaunchCommand("C:\\T\\_inst0.exe", "A:\\SETUP.EXE", "/Q /F \"C:\\A B\"",
                                   command, 64));
  EXPECT_STREQ(command, "\"C:\\T\\_inst0.exe\" /S\"A:\\SETUP.EXE\" /DEL /Q /F \"C:\\A B\"");
}

// Whole relaunches on a simulated machine: where the copy goes, what it
// holds, how it is started, and what is left when something fails.
TEST(Relaunch, Scenarios) {
  enum Fault { kNone, kExecFails, kShortWrite, kFixedDrive, kNoPackage, kNoMemory };
  struct Case {
    Fault fault;
    RelaunchResult result;
    bool copyKept;  // _inst1.exe afterwards
  } cases[] = {
      {kNone, RELAUNCH_STARTED, true},
      {kExecFails, RELAUNCH_FAILED, false},
      {kShortWrite, RELAUNCH_FAILED, false},
      {kFixedDrive, RELAUNCH_NOT_NEEDED, false},
      {kNoPackage, RELAUNCH_FAILED, true},  // left empty, nothing written
      {kNoMemory, RELAUNCH_FAILED, true},   // likewise
  };
  const std::string stub = "MZ" + std::string(98, 's');
  for (const Case& c : cases) {
    SimPlatform sim;
    sim.AddDrive('A', 1 << 20, 512, c.fault == kFixedDrive ? DriveKind::Fixed : DriveKind::Removable);
    sim.AddDrive('C', 1 << 24);
    sim.tempFolder = "C:\\My Temp";  // no backslash at the end, a space inside
    sim.AddFolder("C:\\My Temp");
    sim.AddFile("C:\\My Temp\\_inst0.exe", "taken");
    if (c.fault != kNoPackage) sim.AddFile("A:\\SETUP.EXE", stub + "package bytes");
    sim.processCreationFails = c.fault == kExecFails;
    if (c.fault == kNoMemory) sim.allocationFails = [](uint32_t size) { return size == 100; };
    test::FaultPlatform faults(sim);
    // Calls: create the copy (1), write it (2).
    if (c.fault == kShortWrite) faults.FailAt(2, test::FaultPlatform::Mode::kDiskFull);
    RelaunchResult result =
        RelaunchFromRemovable(faults, "A:\\SETUP.EXE", "A:\\SETUP.EXE", 100, 5);
    EXPECT_EQ(result, c.result) << c.fault;
    EXPECT_EQ(sim.FileExists("C:\\My Temp\\_inst1.exe"), c.copyKept) << c.fault;
    EXPECT_EQ(sim.FileContents("C:\\My Temp\\_inst0.exe"), "taken");
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.OutstandingBlocks(), 0u);
    if (c.result == RELAUNCH_STARTED) {
      EXPECT_EQ(sim.FileContents("C:\\My Temp\\_inst1.exe"), stub);
      ASSERT_EQ(sim.processes.size(), 1u);
      EXPECT_EQ(sim.processes[0].commandLine,
                "\"C:\\My Temp\\_inst1.exe\" /S\"A:\\SETUP.EXE\" /DEL");
    }
  }
}

// A quiet first process waits for its copy and passes on the copy's exit
// code; the copy gets the quiet switches. Without a wait the copy runs on
// by itself (WinExec).
TEST(Relaunch, QuietWaitsForTheCopy) {
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    SimPlatform sim;
    sim.AddDrive('A', 1 << 20, 512, DriveKind::Removable);
    sim.AddDrive('C', 1 << 24);
    sim.tempFolder = "C:\\TEMP";
    sim.AddFolder("C:\\TEMP");
    sim.AddFile("A:\\SETUP.EXE", std::string(100, 's'));
    sim.processScript.push_back({5000, 3010});
    uint32_t code = 7;
    const char* arguments = quiet ? "/Q /L log.txt" : "/L log.txt";
    EXPECT_EQ(RelaunchFromRemovable(sim, "A:\\SETUP.EXE", "A:\\SETUP.EXE", 100, 5, arguments,
                                    quiet ? &code : nullptr),
              RELAUNCH_STARTED);
    ASSERT_EQ(sim.processes.size(), 1u);
    EXPECT_EQ(sim.processes[0].commandLine,
              std::string("\"C:\\TEMP\\_inst0.exe\" /S\"A:\\SETUP.EXE\" /DEL ") + arguments);
    EXPECT_EQ(sim.processes[0].viaWinExec, !quiet);
    // Waited for to its end, or left running.
    EXPECT_EQ(sim.processes[0].running, !quiet);
    EXPECT_EQ(code, quiet ? 3010u : 7u);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.OutstandingBlocks(), 0u);
  }
}

}  // namespace
}  // namespace setup
