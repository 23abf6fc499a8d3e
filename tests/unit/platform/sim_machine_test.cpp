#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"

namespace setup {
namespace {

class SimMachineTest : public ::testing::TestWithParam<bool> {
 protected:
  SimMachineTest() {
    sim.AddDrive('C', 1 << 24);
    sim.windowsNt = GetParam();
    sim.AddFolder("C:\\WINDOWS");
  }

  std::string Get(const char* section, const char* key, const char* def, uint32_t size,
                  uint32_t* n, const char* file = "APP.INI") {
    std::string out(size + 1, '@');
    *n = sim.GetPrivateProfileStringA(section, key, def, out.data(), size, file);
    EXPECT_EQ(out[size], '@');
    return std::string(out.data(), *n);
  }

  SimPlatform sim;
};

// Writes, each from the same file, and the file they leave, byte for byte.
TEST_P(SimMachineTest, ProfileWritesEditTheFileInPlace) {
  const std::string before = ";c\r\n[One]\r\na=1\r\n\r\n[Two]\nb = 2\n";
  struct Row {
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const Row rows[] = {
      {"one", "A", "9", ";c\r\n[One]\r\nA=9\r\n\r\n[Two]\nb = 2\n"},
      {"One", "c", "3", ";c\r\n[One]\r\na=1\r\nc=3\r\n\r\n[Two]\nb = 2\n"},
      {"Two", "c", "3", ";c\r\n[One]\r\na=1\r\n\r\n[Two]\nb = 2\nc=3\r\n"},
      {"Three", "d", "4", before + "[Three]\r\nd=4\r\n"},
      {"One", "a", nullptr, ";c\r\n[One]\r\n\r\n[Two]\nb = 2\n"},
      {"One", nullptr, nullptr, ";c\r\n[Two]\nb = 2\n"},
      {"Two", "missing", nullptr, before},
  };
  for (const Row& row : rows) {
    sim.AddFile("C:\\WINDOWS\\APP.INI", before);
    EXPECT_EQ(sim.WritePrivateProfileStringA(row.section, row.key, row.value, "APP.INI"), 1);
    EXPECT_EQ(sim.FileContents("C:\\WINDOWS\\APP.INI"), row.after)
        << row.section << "/" << (row.key ? row.key : "-");
  }
  // A missing file is made on the first write; a missing folder is not.
  EXPECT_EQ(sim.WritePrivateProfileStringA("S", "k", "v", "C:\\NEW.INI"), 1);
  EXPECT_EQ(sim.FileContents("C:\\NEW.INI"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(sim.WritePrivateProfileStringA("S", "k", "v", "C:\\NO\\NEW.INI"), 0);
  // The flush answers 0 with no error, as Windows does.
  EXPECT_EQ(sim.WritePrivateProfileStringA(nullptr, nullptr, nullptr, "APP.INI"), 0);
  EXPECT_EQ(sim.GetLastError(), 0u);
  EXPECT_EQ(sim.profileFlushes, 1);
}

TEST_P(SimMachineTest, ProfileReadsFollowTheProfileRules) {
  sim.AddFile("C:\\WINDOWS\\APP.INI", "[Paths]\r\nFolder = \"C:\\Apps\" \r\nx=1\r\n[B]\r\n");
  uint32_t n = 0;
  EXPECT_EQ(Get("PATHS", "folder", "d", 260, &n), "C:\\Apps");
  EXPECT_EQ(Get("Paths", "none", "def  ", 260, &n), "def");
  EXPECT_EQ(Get("Paths", "Folder", "", 5, &n), "C:\\A");
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(Get("Paths", nullptr, "", 260, &n), std::string("Folder\0x\0", 9));
  EXPECT_EQ(Get(nullptr, nullptr, "", 260, &n), std::string("Paths\0B\0", 8));
  EXPECT_EQ(Get(nullptr, nullptr, "", 5, &n), std::string("Pat", 3));
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(Get("Paths", "x", "", 260, &n, "C:\\MISSING.INI"), "");
}

TEST_P(SimMachineTest, RegistryKeysAndTypedValues) {
  RegKey key = 0;
  EXPECT_EQ(sim.RegOpenKeyExA(kHkeyLocalMachine, "Software\\A", kKeyRead, &key),
            static_cast<long>(kErrorFileNotFound));
  ASSERT_EQ(sim.RegCreateKeyA(kHkeyLocalMachine, "Software\\A\\B", &key), 0);
  uint32_t dword = 7;
  EXPECT_EQ(sim.RegSetValueExA(key, "Count", kRegDword, &dword, 4), 0);
  EXPECT_EQ(sim.RegSetValueExA(key, nullptr, kRegSz, "dflt", 5), 0);
  EXPECT_EQ(sim.RegCloseKey(key), 0);
  ASSERT_EQ(sim.RegOpenKeyA(kHkeyLocalMachine, "SOFTWARE\\a\\b", &key), 0);
  uint32_t type = 0;
  uint32_t value = 0;
  uint32_t size = 4;
  EXPECT_EQ(sim.RegQueryValueExA(key, "count", &type, &value, &size), 0);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(value, 7u);
  char text[4];
  size = sizeof text;
  EXPECT_EQ(sim.RegQueryValueExA(key, "", &type, text, &size), static_cast<long>(kErrorMoreData));
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(sim.RegQueryValueExA(key, "nothing", &type, text, &size),
            static_cast<long>(kErrorFileNotFound));
  sim.RegCloseKey(key);
  EXPECT_EQ(sim.OpenKeyCount(), 0u);
  EXPECT_TRUE(sim.RegistryKeyExists(kHkeyLocalMachine, "software\\A"));
}

// Windows 98 cannot report more than 2 GB; NT reports it all.
TEST_P(SimMachineTest, FreeSpaceIsCappedOnWindows98) {
  sim.AddDrive('E', 5ull << 30, 32768);
  uint32_t sectors = 0, bytes = 0, freeClusters = 0, total = 0;
  ASSERT_EQ(sim.GetDiskFreeSpaceA("E:\\", &sectors, &bytes, &freeClusters, &total), 1);
  uint64_t reported = uint64_t{sectors} * bytes * freeClusters;
  if (GetParam()) {
    EXPECT_EQ(reported, 5ull << 30);
  } else {
    EXPECT_LT(reported, 2ull << 30);
    EXPECT_GT(reported, (2ull << 30) - 65536);
  }
  EXPECT_EQ(sim.GetDiskFreeSpaceA("Q:\\", &sectors, &bytes, &freeClusters, &total), 0);
  EXPECT_EQ(sim.GetDriveTypeA("E:\\"), kDriveFixed);
  EXPECT_EQ(sim.GetDriveTypeA("Q:\\"), kDriveNoRootDir);
}

TEST_P(SimMachineTest, FullPathsAndShortNames) {
  sim.AddFolder("C:\\Program Files\\Some App");
  sim.currentFolder = "C:\\Program Files";
  char out[260];
  char* part = nullptr;
  EXPECT_EQ(sim.GetFullPathNameA("Some App\\..\\x\\.\\y.txt", 260, out, &part), 24u);
  EXPECT_STREQ(out, "C:\\Program Files\\x\\y.txt");
  EXPECT_STREQ(part, "y.txt");
  EXPECT_EQ(sim.GetFullPathNameA("\\z", 3, out, &part), 5u);  // the size it needs
  EXPECT_EQ(sim.GetShortPathNameA("c:\\program files\\some app", out, 260), 20u);
  EXPECT_STREQ(out, "C:\\PROGRA~1\\SOMEAP~1");
  EXPECT_TRUE(sim.FolderExists("C:\\PROGRA~1\\SOMEAP~1"));
  EXPECT_EQ(sim.GetShortPathNameA("C:\\Program Files\\None", out, 260), 0u);
  VersionInfo version{};
  ASSERT_EQ(sim.GetVersionExA(&version), 1);
  EXPECT_EQ(version.platformId, GetParam() ? kVerPlatformWin32Nt : kVerPlatformWin32Windows);
}

TEST_P(SimMachineTest, VersionResourcesPerFile) {
  sim.AddFile("C:\\WINDOWS\\A.DLL", "MZ");
  sim.AddFile("C:\\WINDOWS\\PLAIN.TXT", "text");
  sim.SetFileVersion("C:\\WINDOWS\\A.DLL", 0x00020003, 0x00040005, 0x0407, 1252);
  EXPECT_EQ(sim.GetFileVersionInfoSizeA("C:\\WINDOWS\\PLAIN.TXT"), 0u);
  EXPECT_EQ(sim.GetFileVersionInfoSizeA("C:\\WINDOWS\\NONE.DLL"), 0u);
  uint32_t size = sim.GetFileVersionInfoSizeA("c:\\windows\\a.dll");
  ASSERT_NE(size, 0u);
  std::string block(size, '\0');
  ASSERT_EQ(sim.GetFileVersionInfoA("C:\\WINDOWS\\A.DLL", size, block.data()), 1);
  const void* value = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(sim.VerQueryValueA(block.data(), "\\", &value, &length), 1);
  ASSERT_EQ(length, sizeof(FixedFileInfo));
  FixedFileInfo info;
  std::memcpy(&info, value, sizeof info);
  EXPECT_EQ(info.signature, 0xFEEF04BDu);
  EXPECT_EQ(info.fileVersionMS, 0x00020003u);
  EXPECT_EQ(info.fileVersionLS, 0x00040005u);
  ASSERT_EQ(sim.VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length), 1);
  uint16_t translation[2];
  std::memcpy(translation, value, 4);
  EXPECT_EQ(translation[0], 0x0407);
  EXPECT_EQ(sim.VerQueryValueA(block.data(), "\\StringFileInfo", &value, &length), 0);
}

// Shell, fonts and self-registration leave records a test reads.
TEST_P(SimMachineTest, ShellLinksFontsAndRegistrations) {
  sim.AddFile("C:\\App\\app.exe", "MZ");
  sim.AddFile("C:\\App\\readme.txt", "hi");
  sim.AddFile("C:\\WINDOWS\\FONTS\\A.TTF", "font");
  sim.AddFile("C:\\App\\reg.dll", "MZ");
  sim.AddFile("C:\\App\\plain.dll", "MZ");
  sim.AddFolder("C:\\Menu");
  EXPECT_GT(sim.ShellExecuteA(0, "C:\\App\\readme.txt", "C:\\App", kSwShowNormal), 32u);
  EXPECT_LE(sim.ShellExecuteA(0, "C:\\App\\none.txt", nullptr, kSwShowNormal), 32u);
  ASSERT_EQ(sim.shellExecutions.size(), 1u);
  ShellLinkInfo link{"C:\\App\\app.exe", "C:\\App", "/go", "App", "C:\\App\\app.exe", 2};
  EXPECT_EQ(sim.CreateShellLink(link, "C:\\Menu\\App.lnk"), 0);
  EXPECT_LT(sim.CreateShellLink(link, "C:\\NoMenu\\App.lnk"), 0);
  ASSERT_EQ(sim.links.count("C:\\Menu\\App.lnk"), 1u);
  EXPECT_EQ(sim.links["C:\\Menu\\App.lnk"].arguments, "/go");
  EXPECT_EQ(sim.links["C:\\Menu\\App.lnk"].iconIndex, 2);
  EXPECT_TRUE(sim.FileExists("C:\\Menu\\App.lnk"));
  EXPECT_EQ(sim.AddFontResourceA("C:\\WINDOWS\\FONTS\\A.TTF"), 1);
  EXPECT_EQ(sim.AddFontResourceA("C:\\WINDOWS\\FONTS\\B.TTF"), 0);
  sim.BroadcastFontChange();
  EXPECT_EQ(sim.fonts.size(), 1u);
  EXPECT_EQ(sim.fontBroadcasts, 1);
  sim.selfRegistering["C:\\App\\reg.dll"] = 0;
  for (const char* path : {"C:\\App\\reg.dll", "C:\\App\\plain.dll"}) {
    LibraryHandle library = sim.LoadLibraryA(path);
    ASSERT_NE(library, 0u);
    ProcAddress entry = sim.GetProcAddress(library, "DllRegisterServer");
    if (entry != 0) {
      EXPECT_EQ(sim.CallRegistrationFunction(entry), 0);
    }
    EXPECT_EQ(sim.FreeLibrary(library), 1);
  }
  EXPECT_EQ(sim.LoadLibraryA("C:\\App\\none.dll"), 0u);
  EXPECT_EQ(sim.registered, std::vector<std::string>{"C:\\App\\reg.dll"});
  EXPECT_EQ(sim.LoadedLibraryCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Families, SimMachineTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Nt" : "Win98"; });

}  // namespace
}  // namespace setup
