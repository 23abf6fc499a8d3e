#include "install/earlier_installations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/file_entry.h"
#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

constexpr const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Component {
  std::string displayName;
  bool hasFiles;
  bool uninstallerFirst;  // the first entry has FEF_UNINSTALLER
  const char* uninstallString;  // registered value, or null
  bool fileThere;
};

struct Scenario {
  const char* name;
  bool removePrevious;
  int current;
  std::vector<Component> components;
  std::vector<std::string> started;  // command lines, in order
};

class EarlierInstallationsTest : public ::testing::TestWithParam<bool> {
 protected:
  EarlierInstallationsTest() { Prepare(sim); }

  void Prepare(SimPlatform& machine) {
    machine.AddDrive('C', 1 << 24);
    machine.windowsNt = GetParam();
  }

  void Run(const Scenario& s) { Run(sim, s); }

  // Lays out the package and the machine a scenario describes and runs it.
  void Run(SimPlatform& sim, const Scenario& s) {
    PackageState package{};
    package.settings = s.removePrevious ? SETUP_REMOVE_PREVIOUS : 0;
    package.componentCount = static_cast<int>(s.components.size());
    std::vector<std::vector<uint8_t>> lists(s.components.size());
    for (size_t k = 0; k < s.components.size(); ++k) {
      const Component& c = s.components[k];
      ComponentSlot& slot = package.components[k];
      slot.hasDescriptor = true;
      slot.descriptor.displayName = c.displayName.c_str();
      if (c.hasFiles) {
        std::vector<uint8_t>& list = lists[k];
        list.assign(4 + kEntryFixedSize + 6, 0);
        list[0] = 1;  // one entry
        list[4] = static_cast<uint8_t>(kEntryFixedSize + 6);
        list[4 + 22] = c.uninstallerFirst ? FEF_UNINSTALLER : 0;
        slot.fileList = Payload{list.data(), static_cast<uint32_t>(list.size())};
      }
      if (c.uninstallString != nullptr) {
        sim.SetRegistryString(kHkeyLocalMachine, std::string(kUninstall) + c.displayName,
                              "UninstallString", c.uninstallString);
        if (c.fileThere) sim.AddFile(c.uninstallString, "MZ");
      }
    }
    RemovePreviousInstallations(sim, package, s.current);
  }

  SimPlatform sim;
};

TEST_P(EarlierInstallationsTest, WhichUninstallersRun) {
  const char* old = "C:\\Program Files\\Old App\\uninst.exe";
  const std::string oldCommand = "\"C:\\Program Files\\Old App\\uninst.exe\" /X";
  const Scenario scenarios[] = {
      {"flag clear", false, 1, {{"Old", true, true, old, true}, {"New", true, true, nullptr, false}}, {}},
      {"another component's uninstaller runs, the current one's does not", true, 1,
       {{"Old", true, true, old, true}, {"New", true, true, "C:\\New\\un.exe", true}},
       {oldCommand}},
      {"first entry without the uninstaller flag", true, 1,
       {{"Old", true, false, old, true}, {"New", true, true, nullptr, false}}, {}},
      {"the same display name as the current component still runs", true, 1,
       {{"Same", true, true, old, true}, {"Same", true, true, nullptr, false}}, {oldCommand}},
      {"a quoted value names no file", true, 1,
       {{"Old", true, true, "\"C:\\Old\\un.exe\"", false}, {"New", true, true, nullptr, false}},
       {}},
      {"an uninstaller file that is gone", true, 1,
       {{"Old", true, true, old, false}, {"New", true, true, nullptr, false}}, {}},
      {"no display name, no file list", true, 2,
       {{"", true, true, nullptr, false}, {"Old", false, true, old, true},
        {"New", true, true, nullptr, false}},
       {}},
      {"a display name too long for the key", true, 1,
       {{std::string(320, 'n'), true, true, nullptr, false}, {"New", true, true, nullptr, false}},
       {}},
      {"every other component, in order", true, 1,
       {{"A", true, true, "C:\\A\\u.exe", true}, {"B", true, true, "C:\\B\\u.exe", true},
        {"C", true, true, "C:\\C\\u.exe", true}},
       {"\"C:\\A\\u.exe\" /X", "\"C:\\C\\u.exe\" /X"}},
  };
  for (const Scenario& s : scenarios) {
    SimPlatform sim;
    Prepare(sim);
    for (int i = 0; i < 3; ++i) sim.processScript.push_back({500, 0});
    Run(sim, s);
    std::vector<std::string> started;
    for (const SimPlatform::Process& p : sim.processes) started.push_back(p.commandLine);
    EXPECT_EQ(started, s.started) << s.name;
    if (!s.removePrevious) {
      EXPECT_EQ(sim.registryOpens, 0) << s.name;
    }
    if (std::string(s.name).find("too long") != std::string::npos) {
      EXPECT_EQ(sim.registryOpens, 0) << s.name;
    }
    EXPECT_EQ(sim.OpenKeyCount(), 0u) << s.name;
    EXPECT_EQ(sim.OpenHandleCount(), 0u) << s.name;
    EXPECT_EQ(sim.OutstandingBlocks(), 0u) << s.name;
    for (const SimPlatform::Process& p : sim.processes) {
      EXPECT_FALSE(p.running) << s.name;
      EXPECT_EQ(p.openHandles, 0) << s.name;
    }
  }
}

// Two uninstallers of 2 s each: the second starts only when the first has
// ended, and the wait takes one turn per 50 ms of waiting (a spinning wait
// would take millions), peeking at the queue in each turn without taking
// anything out of it.
TEST_P(EarlierInstallationsTest, EachUninstallerEndsBeforeTheNextAndTheWaitSleeps) {
  sim.processScript = {{2000, 0}, {2000, 259}};
  Run({"", true, 1,
       {{"A", true, true, "C:\\A\\u.exe", true}, {"B", true, true, nullptr, false},
        {"C", true, true, "C:\\C\\u.exe", true}},
       {}});
  ASSERT_EQ(sim.processes.size(), 2u);
  EXPECT_EQ(sim.processes[0].endMs, 2000u);
  EXPECT_GE(sim.processes[1].startMs, sim.processes[0].endMs);
  // An exit code of 259 (STILL_ACTIVE's value) does not keep the wait going.
  EXPECT_FALSE(sim.processes[1].running);
  EXPECT_EQ(sim.processes[1].exitCode, 259u);
  EXPECT_EQ(sim.clockMs, 4000u);
  EXPECT_EQ(sim.waits, 2 * (2000 / static_cast<int>(kProcessWaitMs)));
  EXPECT_EQ(sim.peeks, sim.waits);
}

TEST_P(EarlierInstallationsTest, StartProgramQuotesThePath) {
  ProcessHandle process = 77;
  sim.processCreationFails = true;
  EXPECT_EQ(StartProgram(sim, "C:\\Program Files\\App\\u.exe", "/X", &process), 0);
  EXPECT_EQ(process, 0);
  sim.processCreationFails = false;
  ASSERT_EQ(StartProgram(sim, "C:\\Program Files\\App\\u.exe", "/X", &process), 1);
  EXPECT_EQ(sim.processes.back().commandLine, "\"C:\\Program Files\\App\\u.exe\" /X");
  EXPECT_EQ(IsProcessRunning(sim, process), 1);
  sim.EndProcess(0, 0);
  EXPECT_EQ(IsProcessRunning(sim, process), 0);
  EXPECT_EQ(sim.CloseHandle(process), 1);
  EXPECT_EQ(sim.processes.back().openHandles, 0);
  // A command that does not fit is not started.
  EXPECT_EQ(StartProgram(sim, std::string(600, 'p').c_str(), "/X", &process), 0);
  EXPECT_EQ(sim.processes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Families, EarlierInstallationsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Nt" : "Win98"; });

}  // namespace
}  // namespace setup
