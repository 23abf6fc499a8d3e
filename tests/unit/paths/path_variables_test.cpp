#include "paths/path_variables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

constexpr const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";

struct Machine {
  bool nt;
  const char* windows;
  const char* programFiles;  // null: no value
};

struct Case {
  const char* source;
  const char* destination;  // #InstallDir#
  const char* package;      // the package path
  const char* expected;
};

class PathVariablesTest : public ::testing::TestWithParam<Machine> {
 protected:
  PathVariablesTest() {
    sim.AddDrive('C', 1 << 20);
    sim.windowsNt = GetParam().nt;
    sim.windowsFolder = GetParam().windows;
    std::string windows = GetParam().windows;
    if (windows.back() != '\\') windows += '\\';
    sim.systemFolder = windows + (GetParam().nt ? "SYSTEM32" : "SYSTEM");
    if (GetParam().programFiles != nullptr) {
      sim.SetRegistryString(kHkeyLocalMachine, kCurrentVersion, "ProgramFilesDir",
                            GetParam().programFiles);
    }
    sim.clock = SystemTime{2001, 3, 1, 5, 23, 59, 0, 0};
  }

  std::string Expand(const Case& c, uint32_t size, uint32_t* length) {
    PathPlaces places{sim, c.destination, c.package};
    std::vector<char> out(size + 1, '@');
    *length = ExpandPathVariables(places, out.data(), c.source, size);
    EXPECT_EQ(out[size], '@') << "written past the size given";
    return std::string(out.data(), size == 0 ? 0 : size);
  }

  SimPlatform sim;
};

// Each row runs on every machine; "{W}" and "{S}" stand for its Windows and
// system folders without their trailing backslash, "{P}" for #Program Files#.
TEST_P(PathVariablesTest, ExpandsEveryToken) {
  std::string win = GetParam().windows;
  if (win.size() >= 4 && win.back() == '\\') win.pop_back();
  std::string sys = sim.systemFolder;
  std::string pf = GetParam().programFiles != nullptr ? GetParam().programFiles : "#Program Files#";
  if (pf.size() >= 4 && pf.back() == '\\') pf.pop_back();
  const Case cases[] = {
      {"#Windows#\\fonts", "", "", "{W}\\fonts"},
      {"#windows#\\fonts", "", "", "{W}\\fonts"},
      {"#SYSTEM#\\x.dll", "", "", "{S}\\x.dll"},
      {"#Program Files#\\App", "", "", "{P}\\App"},
      {"#InstallDir#\\app.exe", "C:\\Apps\\Tool\\", "", "C:\\Apps\\Tool\\app.exe"},
      {"#InstallDir#", "D:\\", "", "D:\\"},
      {"#SourceDir#\\readme.txt", "", "D:\\SETUP\\SETUP.EXE", "D:\\SETUP\\readme.txt"},
      {"#SourceDir#|", "", "SETUP.EXE", "SETUP.EXE|"},
      {"v#Date#.log", "", "", "v20010305.log"},
      {"#Foo#bar", "", "", "bar"},
      {"100#", "", "", "100#"},
      {"a#b", "", "", "a#b"},
      {"#InstallDir##x", "C:\\A", "", "C:\\A#x"},
      {"#InstallDir#", "#Windows#", "", "#Windows#"},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    std::string want = c.expected;
    for (auto [tag, value] : {std::pair<std::string, std::string>{"{W}", win}, {"{S}", sys},
                              {"{P}", pf}}) {
      for (size_t at; (at = want.find(tag)) != std::string::npos;) want.replace(at, 3, value);
    }
    uint32_t length = 0;
    std::string got = Expand(c, 300, &length);
    EXPECT_EQ(length, want.size()) << c.source;
    if (!want.empty()) {
      EXPECT_EQ(got.c_str(), want) << c.source;
    }
  }
}

TEST_P(PathVariablesTest, CutsToSizeAndReturnsTheFullLength) {
  Case c{"#InstallDir#\\0123456789", "C:\\Apps", "", nullptr};
  uint32_t length = 0;
  std::string got = Expand(c, 10, &length);
  EXPECT_EQ(length, 18u);
  EXPECT_STREQ(got.c_str(), "C:\\Apps\\0");
  // The length alone, without a destination.
  PathPlaces places{sim, "C:\\Apps", ""};
  EXPECT_EQ(ExpandPathVariables(places, nullptr, c.source, 0), 18u);
}

TEST_P(PathVariablesTest, AnEmptyResultLeavesTheDestinationAlone) {
  PathPlaces places{sim, "", ""};
  char out[16] = "kept";
  EXPECT_EQ(ExpandPathVariables(places, out, "#Unknown#", sizeof out), 0u);
  EXPECT_STREQ(out, "kept");
}

TEST_P(PathVariablesTest, ExpandsInPlace) {
  PathPlaces places{sim, "C:\\Dest\\", ""};
  char text[64] = "#InstallDir#\\#Foo#x";
  EXPECT_EQ(ExpandPathVariables(places, text, text, sizeof text), 9u);
  EXPECT_STREQ(text, "C:\\Dest\\x");
}

// An expansion longer than the scratch keeps counting; what is written stays
// within the scratch and the destination.
TEST_P(PathVariablesTest, AnExpansionLongerThanTheScratchIsCountedNotOverrun) {
  std::string folder(250, 'f');
  std::string source;
  for (int i = 0; i < 300; ++i) source += "#InstallDir#";
  PathPlaces places{sim, folder.c_str(), ""};
  std::vector<char> out(kExpansionScratchSize + 100, '@');
  uint32_t length = ExpandPathVariables(places, out.data(), source.c_str(),
                                        static_cast<uint32_t>(out.size()));
  EXPECT_EQ(length, 300u * 250u);
  EXPECT_EQ(std::string(out.data()).size(), kExpansionScratchSize - 1);
  EXPECT_EQ(sim.OutstandingBlocks(), 0u);
}

TEST_P(PathVariablesTest, WithoutScratchTheSourceIsCopiedAndTerminated) {
  sim.allocationFails = [](uint32_t size) { return size == kExpansionScratchSize; };
  PathPlaces places{sim, "C:\\Dest", ""};
  char out[8];
  std::memset(out, '@', sizeof out);
  EXPECT_EQ(ExpandPathVariables(places, out, "#InstallDir#", sizeof out), 12u);
  EXPECT_STREQ(out, "#Instal");
}

INSTANTIATE_TEST_SUITE_P(
    Machines, PathVariablesTest,
    ::testing::Values(Machine{true, "C:\\WINNT", "C:\\Program Files\\"},
                      Machine{false, "C:\\WINDOWS", "C:\\Program Files"},
                      Machine{false, "C:\\", nullptr}),
    [](const auto& info) {
      return std::string(info.param.nt ? "Nt" : "Win98") +
             (info.param.programFiles ? "" : "RootWithoutProgramFiles");
    });

}  // namespace
}  // namespace setup
