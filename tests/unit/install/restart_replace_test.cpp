#include "install/restart_replace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "unit/support/forwarding_platform.h"

namespace setup {
namespace {

constexpr const char kWininit[] = "C:\\WINDOWS\\WININIT.INI";

class RestartReplaceTest : public ::testing::Test {
 protected:
  explicit RestartReplaceTest(bool nt = false) {
    sim.AddDrive('C', 1 << 24);
    sim.windowsNt = nt;
    sim.AddFolder("C:\\WINDOWS\\SYSTEM");
    sim.AddFile("C:\\WINDOWS\\SYSTEM\\SHARED.DLL", "old");
    sim.AddFile("C:\\WINDOWS\\SYSTEM\\SHARED.$$A", "new");
    sim.AddFile("C:\\TEMP\\_inst0.exe", "copy");
    sim.AddFile("C:\\TEMP\\_inst1.exe", "copy");
    sim.AddFile("C:\\Program Files\\Some App\\Library Name.dll", "old");
    sim.AddFile("C:\\Program Files\\Some App\\Library Name.$$A", "new");
  }

  SimPlatform sim;
};

// Windows 98: each scenario starts from the same WININIT.INI and leaves the
// file given, byte for byte.
TEST_F(RestartReplaceTest, Windows98WritesWininitLines) {
  const std::string before = "; made by hand\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\n\r\n[Other]\r\nxyz=1";
  struct Step {
    const char* target;  // null: a deletion
    const char* source;
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
    bool ok;
    std::string after;
  };
  const Row rows[] = {
      {"replacement",
       {{"C:\\WINDOWS\\SYSTEM\\SHARED.DLL", "C:\\WINDOWS\\SYSTEM\\SHARED.$$A"}},
       true,
       "; made by hand\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\n"
       "C:\\WINDOWS\\SYSTEM\\SHARED.DLL=C:\\WINDOWS\\SYSTEM\\SHARED.$$A\r\n\r\n[Other]\r\nxyz=1"},
      {"long names go in short",
       {{"C:\\Program Files\\Some App\\Library Name.dll",
         "C:\\Program Files\\Some App\\Library Name.$$A"}},
       true,
       "; made by hand\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\n"
       "C:\\PROGRA~1\\SOMEAP~1\\LIBRAR~2.DLL=C:\\PROGRA~1\\SOMEAP~1\\LIBRAR~1.$$A\r\n\r\n"
       "[Other]\r\nxyz=1"},
      {"two deletions",
       {{nullptr, "C:\\TEMP\\_inst0.exe"}, {nullptr, "C:\\TEMP\\_inst1.exe"}},
       true,
       "; made by hand\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\nNUL=C:\\TEMP\\_inst0.exe\r\n"
       "NUL=C:\\TEMP\\_inst1.exe\r\n\r\n[Other]\r\nxyz=1"},
      {"a target not there yet with a short name",
       {{"C:\\WINDOWS\\SYSTEM\\NEW.DLL", "C:\\WINDOWS\\SYSTEM\\SHARED.$$A"}},
       true,
       "; made by hand\r\n[Rename]\r\nNUL=C:\\OLD.TMP\r\n"
       "C:\\WINDOWS\\SYSTEM\\NEW.DLL=C:\\WINDOWS\\SYSTEM\\SHARED.$$A\r\n\r\n[Other]\r\nxyz=1"},
      {"a target not there yet with a long name",
       {{"C:\\WINDOWS\\SYSTEM\\Long Name.dll", "C:\\WINDOWS\\SYSTEM\\SHARED.$$A"}}, false, before},
      {"a source that is not there", {{nullptr, "C:\\TEMP\\gone.exe"}}, false, before},
  };
  for (const Row& row : rows) {
    sim.AddFile(kWininit, before);
    bool ok = true;
    for (const Step& step : row.steps) {
      ok = ScheduleReplaceAtRestart(sim, false, step.target, step.source) && ok;
    }
    EXPECT_EQ(ok, row.ok) << row.name;
    EXPECT_EQ(sim.FileContents(kWininit).value_or("(none)"), row.after) << row.name;
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.OutstandingBlocks(), 0u);
    EXPECT_TRUE(sim.delayedMoves.empty());
  }
}

TEST_F(RestartReplaceTest, Windows98WithoutWininitCreatesIt) {
  ASSERT_TRUE(ScheduleReplaceAtRestart(sim, false, nullptr, "C:\\TEMP\\_inst0.exe"));
  EXPECT_EQ(sim.FileContents(kWininit).value_or("(none)"),
            "[Rename]\r\nNUL=C:\\TEMP\\_inst0.exe\r\n");
  EXPECT_GE(sim.profileFlushes, 1);
}

// A WININIT.INI that cannot be written, or whose placeholder cannot be found
// again, is a failure that the caller hears of.
TEST_F(RestartReplaceTest, Windows98FailuresAreReported) {
  sim.AddFile(kWininit, "", kAttrReadOnly);
  EXPECT_FALSE(ScheduleReplaceAtRestart(sim, false, nullptr, "C:\\TEMP\\_inst0.exe"));
  EXPECT_FALSE(ScheduleReplaceAtRestart(sim, false, "C:\\WINDOWS\\SYSTEM\\SHARED.DLL",
                                        "C:\\WINDOWS\\SYSTEM\\SHARED.$$A"));
  EXPECT_EQ(sim.FileContents(kWininit), "");
}

TEST_F(RestartReplaceTest, WindowsNtUsesDelayedMovesAndLeavesWininitAlone) {
  sim.windowsNt = true;
  sim.AddFile(kWininit, "[Rename]\r\n");
  EXPECT_TRUE(ScheduleReplaceAtRestart(sim, true, "C:\\Program Files\\Some App\\Library Name.dll",
                                       "C:\\Program Files\\Some App\\Library Name.$$A"));
  EXPECT_TRUE(ScheduleReplaceAtRestart(sim, true, nullptr, "C:\\TEMP\\_inst0.exe"));
  ASSERT_EQ(sim.delayedMoves.size(), 2u);
  EXPECT_EQ(sim.delayedMoves[0].from, "C:\\Program Files\\Some App\\Library Name.$$A");
  EXPECT_EQ(sim.delayedMoves[0].to, "C:\\Program Files\\Some App\\Library Name.dll");
  EXPECT_TRUE(sim.delayedMoves[0].replace);
  EXPECT_EQ(sim.delayedMoves[1].from, "C:\\TEMP\\_inst0.exe");
  EXPECT_EQ(sim.delayedMoves[1].to, "");
  EXPECT_EQ(sim.FileContents(kWininit), "[Rename]\r\n");
  EXPECT_EQ(sim.profileFlushes, 0);
  // Without administrator rights nothing is scheduled, and the caller hears it.
  sim.administrator = false;
  EXPECT_FALSE(ScheduleReplaceAtRestart(sim, true, nullptr, "C:\\TEMP\\_inst1.exe"));
  EXPECT_EQ(sim.delayedMoves.size(), 2u);
}

// A profile write that reports success but leaves the file as it was (a
// cache that never reached the disk): the placeholder is not found, and a
// WININIT.INI shorter than a placeholder line never makes the scan run off.
class ProfileLostPlatform final : public test::ForwardingPlatform {
 public:
  explicit ProfileLostPlatform(SimPlatform& sim) : ForwardingPlatform(sim) {}
  int WritePrivateProfileStringA(const char*, const char*, const char*, const char*) override {
    return 1;
  }
};

TEST_F(RestartReplaceTest, APlaceholderThatNeverReachedTheFileIsAFailure) {
  ProfileLostPlatform lost(sim);
  for (const char* tiny : {"", "x", "xyz", "xyz=", "xyz=C:\\TEMP"}) {
    sim.AddFile(kWininit, tiny);
    EXPECT_FALSE(ScheduleReplaceAtRestart(lost, false, nullptr, "C:\\TEMP\\_inst0.exe")) << tiny;
    EXPECT_EQ(sim.FileContents(kWininit), tiny);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.OutstandingBlocks(), 0u);
  }
}

}  // namespace
}  // namespace setup
