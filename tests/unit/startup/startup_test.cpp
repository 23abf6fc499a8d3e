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
  struct Case {
    const char* text;
    const char* path;  // the package path afterwards (it starts as "orig")
    bool removable;
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
  };
  for (const Case& c : cases) {
    char path[260] = "orig";
    bool removable = false;
    ParseCommandLine(c.text, path, &removable);
    EXPECT_STREQ(path, c.path) << (c.text ? c.text : "(null)");
    EXPECT_EQ(removable, c.removable) << (c.text ? c.text : "(null)");
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
  std::string text = "/S " + std::string(400, 'x');
  char path[260];
  bool removable = false;
  ParseCommandLine(text.c_str(), path, &removable);
  EXPECT_EQ(std::strlen(path), 259u);
}

TEST(Relaunch, DriveRootsAndCommand) {
  char root[4];
  EXPECT_TRUE(ProgramDriveRoot("A:\\SETUP.EXE", root));
  EXPECT_STREQ(root, "A:\\");
  EXPECT_FALSE(ProgramDriveRoot("\\\\server\\share\\SETUP.EXE", root));
  EXPECT_FALSE(ProgramDriveRoot("", root));
  char command[64];
  ASSERT_TRUE(BuildRelaunchCommand("C:\\My Temp\\_inst1.exe", "A:\\SETUP.EXE", command, 64));
  EXPECT_STREQ(command, "\"C:\\My Temp\\_inst1.exe\" /S\"A:\\SETUP.EXE\" /DEL");
  EXPECT_FALSE(BuildRelaunchCommand("C:\\My Temp\\_inst1.exe", "A:\\SETUP.EXE", command, 40));
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

}  // namespace
}  // namespace setup
