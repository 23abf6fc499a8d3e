#include "paths/target_path.h"

#include <gtest/gtest.h>

#include <string>

#include "package/entry_kinds.h"
#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

// One machine per family: Windows and system folders, a Fonts folder the
// shell names (or not), a destination folder and a package on D:.
struct Family {
  bool nt;
  const char* windows;
  const char* system;
};

class TargetPathTest : public ::testing::TestWithParam<Family> {
 protected:
  TargetPathTest() {
    sim.AddDrive('C', 1 << 24);
    sim.AddDrive('D', 1 << 20, 2048, DriveKind::CdRom);
    sim.windowsNt = GetParam().nt;
    sim.windowsFolder = GetParam().windows;
    sim.systemFolder = GetParam().system;
    sim.AddFolder(GetParam().system);
    sim.AddFolder("C:\\Apps\\Tool");
    sim.AddFile("D:\\SETUP\\SETUP.EXE", "stub");
  }

  TargetResult Resolve(uint8_t kind, uint8_t placement, const char* name, std::string* target,
                       uint32_t size = 520) {
    PathPlaces places{sim, destination.c_str(), "D:\\SETUP\\SETUP.EXE"};
    std::string buffer(size + 1, '@');
    TargetResult result = ResolveTargetPath(places, kind, placement, name, buffer.data(), size);
    EXPECT_EQ(buffer[size], '@') << "written past the target's size";
    *target = buffer.c_str();
    return result;
  }

  std::string In(const std::string& folder, const char* name) {
    return folder + (folder.back() == '\\' ? "" : "\\") + name;
  }

  SimPlatform sim;
  std::string destination = "C:\\Apps\\Tool\\";
};

TEST_P(TargetPathTest, EachFolderKindAndPlacement) {
  sim.specialFolders[kCsidlFonts] = std::string(GetParam().windows) + "\\FONTS";
  struct Row {
    uint8_t kind;
    uint8_t placement;
    const char* name;
    std::string expected;
  };
  const Row rows[] = {
      {FOLDER_INSTALL, PLACE_SOURCE, "readme.txt", "D:\\SETUP\\readme.txt"},
      {FOLDER_WINDOWS, PLACE_SOURCE, "readme.txt", "D:\\SETUP\\readme.txt"},
      {FOLDER_SYSTEM, PLACE_SOURCE, "lib\\x.dll", "D:\\SETUP\\lib\\x.dll"},
      {FOLDER_INSTALL, PLACE_KEEP, "help\\index.txt", "C:\\Apps\\Tool\\help\\index.txt"},
      {FOLDER_WINDOWS, PLACE_UNINSTALL, "app.ini", In(GetParam().windows, "app.ini")},
      {FOLDER_FONTS, PLACE_KEEP, "a.ttf", std::string(GetParam().windows) + "\\FONTS\\a.ttf"},
      {9, PLACE_KEEP, "odd.txt", "C:\\Apps\\Tool\\odd.txt"},
  };
  for (const Row& row : rows) {
    std::string target;
    EXPECT_EQ(Resolve(row.kind, row.placement, row.name, &target), TargetResult::kResolved)
        << row.name;
    EXPECT_EQ(target, row.expected);
  }
}

TEST_P(TargetPathTest, FontsWithoutTheShellsFolderGoBelowWindows) {
  std::string target;
  EXPECT_EQ(Resolve(FOLDER_FONTS, PLACE_KEEP, "a.ttf", &target), TargetResult::kResolved);
  EXPECT_EQ(target, In(GetParam().windows, "Fonts\\a.ttf"));
}

// The shared-file search looks for the name's last part only, and says in use
// when the copy it settles on is in use.
TEST_P(TargetPathTest, SharedFileSearch) {
  struct Row {
    const char* existing;  // a current copy, or null
    bool held;
    std::string expected;
    TargetResult result;
  };
  std::string sys = GetParam().system;
  const Row rows[] = {
      {nullptr, false, In(sys, "shared.dll"), TargetResult::kResolved},
      {"system", false, In(sys, "shared.dll"), TargetResult::kResolved},
      {"windows", false, In(GetParam().windows, "shared.dll"), TargetResult::kResolved},
      {"app", false, "C:\\Apps\\Tool\\shared.dll", TargetResult::kResolved},
      // Held open by another process: it cannot be opened to check it, but it
      // is where a shared file belongs, so it is reported in use.
      {"system", true, In(sys, "shared.dll"), TargetResult::kInUse},
      // In use in the application's folder: not where it belongs, not reported.
      {"app", true, "C:\\Apps\\Tool\\shared.dll", TargetResult::kResolved},
  };
  for (const Row& row : rows) {
    std::string copy;
    if (row.existing != nullptr) {
      std::string where = std::string(row.existing) == "system"    ? sys
                          : std::string(row.existing) == "windows" ? GetParam().windows
                                                                   : "C:\\Apps\\Tool";
      copy = In(where, "SHARED.DLL");
      sim.AddFile(copy, "old");
      sim.HoldOpenByOtherProcess(copy, row.held);
    }
    std::string target;
    EXPECT_EQ(Resolve(FOLDER_SYSTEM, PLACE_KEEP, "lib\\shared.dll", &target), row.result)
        << (row.existing ? row.existing : "none") << row.held;
    EXPECT_EQ(target, row.expected) << (row.existing ? row.existing : "none");
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.OutstandingBlocks(), 0u);
    if (!copy.empty()) {
      sim.HoldOpenByOtherProcess(copy, false);
      ASSERT_TRUE(sim.DeleteFileA(copy.c_str()));
    }
  }
}

// A folder of 259 characters and a name: the result does not fit in 260
// bytes; it is reported and the text stays within its buffer.
TEST_P(TargetPathTest, APathThatDoesNotFitIsReported) {
  destination = "C:\\" + std::string(255, 'd') + "\\";
  std::string target;
  EXPECT_EQ(Resolve(FOLDER_INSTALL, PLACE_KEEP, "x", &target, 260), TargetResult::kTooLong);
  EXPECT_EQ(target.size(), 259u);
  EXPECT_EQ(Resolve(FOLDER_INSTALL, PLACE_KEEP, "x", &target, 520), TargetResult::kResolved);
  EXPECT_EQ(target, destination + "x");
  EXPECT_EQ(Resolve(FOLDER_INSTALL, PLACE_KEEP, std::string(300, 'n').c_str(), &target, 520),
            TargetResult::kTooLong);
  EXPECT_EQ(target.size(), 519u);
}

INSTANTIATE_TEST_SUITE_P(Families, TargetPathTest,
                         ::testing::Values(Family{true, "C:\\WINNT", "C:\\WINNT\\system32"},
                                           Family{false, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"}),
                         [](const auto& info) { return info.param.nt ? "Nt" : "Win98"; });

}  // namespace
}  // namespace setup
