// File items of the uninstall log, written to a file on the simulated machine
// and compared byte for byte with items written out by hand.
#include "install/uninstall_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "unit/support/byte_writer.h"

namespace setup {
namespace {

using test::ByteWriter;

constexpr const char kLog[] = "C:\\App\\uninst.exe";

TEST(UninstallLogTest, FileItems) {
  struct Row {
    const char* name;
    const char* destination;
    const char* path;
    uint8_t flags;
    std::string folder;  // as the item holds it
    std::string file;
  };
  const Row rows[] = {
      {"directly in the destination folder", "C:\\App\\", "C:\\App\\tool.exe", 0, ".", "tool.exe"},
      {"a destination without its backslash", "C:\\App", "C:\\App\\tool.exe", 0, ".", "tool.exe"},
      {"in a subfolder", "C:\\App\\", "C:\\App\\bin\\data\\x.dll", LOG_SELF_REGISTERED,
       ".\\bin\\data", "x.dll"},
      {"compared without regard to case", "c:\\app\\", "C:\\APP\\Sub\\A.txt", 0, ".\\Sub",
       "A.txt"},
      {"a folder that only starts like it", "C:\\App\\", "C:\\Apps\\x.dll", 0, "C:\\Apps",
       "x.dll"},
      {"the system folder in full", "C:\\App\\", "C:\\WINDOWS\\SYSTEM\\shared.dll",
       LOG_SHARED_COUNTED | LOG_SELF_REGISTERED, "C:\\WINDOWS\\SYSTEM", "shared.dll"},
      {"a font", "C:\\App\\", "C:\\WINDOWS\\FONTS\\f.ttf", LOG_FONT_ADDED, "C:\\WINDOWS\\FONTS",
       "f.ttf"},
      {"a drive root", "C:\\App\\", "D:\\x.lnk", 0, "D:", "x.lnk"},
  };
  for (const Row& row : rows) {
    SimPlatform sim;
    sim.AddDrive('C', 1 << 20);
    sim.AddFolder("C:\\App");
    FileHandle file = CreateForWrite(sim, kLog);
    EXPECT_EQ(WriteFileItem(sim, file, row.destination, row.path, row.flags), WRITE_OK)
        << row.name;
    CloseFile(sim, &file);
    ByteWriter expected;
    expected.U16(row.folder.size()).Raw(row.folder).U16(row.file.size()).Raw(row.file);
    expected.U8(row.flags);
    EXPECT_EQ(sim.FileContents(kLog), expected.str()) << row.name;
  }
}

TEST(UninstallLogTest, CountedStrings) {
  struct Row {
    std::string text;
    std::string expected;
  };
  const Row rows[] = {
      {"", std::string("\0\0", 2)},
      {"abc", std::string("\3\0abc", 5)},
      {std::string(300, 'x'), std::string("\x2C\x01", 2) + std::string(300, 'x')},
      {std::string(65536 + 2, 'y'), std::string("\2\0yy", 4)},
  };
  for (const Row& row : rows) {
    SimPlatform sim;
    sim.AddDrive('C', 1 << 20);
    sim.AddFolder("C:\\App");
    FileHandle file = CreateForWrite(sim, kLog);
    EXPECT_EQ(WriteCountedString(sim, file, row.text.c_str()), WRITE_OK);
    CloseFile(sim, &file);
    EXPECT_EQ(sim.FileContents(kLog), row.expected) << row.text.size();
  }
}

// Start-menu shortcut records after the 4 bytes "OLD!" already in the log.
TEST(UninstallLogTest, ShortcutRecords) {
  struct Shortcut {
    std::string folder, link;
  };
  struct Row {
    const char* name;
    int begins;  // calls of Begin before the shortcuts
    std::vector<Shortcut> shortcuts;
  };
  const std::string programs = "C:\\WINDOWS\\Start Menu\\Programs";
  const Row rows[] = {
      {"no entry with a shortcut name: no record", 0, {}},
      {"a shortcut name, but no shortcut made", 1, {}},
      {"two shortcuts", 1, {{programs + "\\Tool", "Tool.lnk"}, {programs, "Readme.lnk"}}},
      {"begun twice, one header", 2, {{programs, "Tool.lnk"}}},
  };
  for (const Row& row : rows) {
    SimPlatform sim;
    sim.AddDrive('C', 1 << 20);
    sim.AddFile(kLog, "OLD!");
    FileHandle file = OpenForWrite(sim, kLog);
    SeekFile(sim, file, 0, kFileEnd);
    ShortcutRecord record(sim, file);
    for (int i = 0; i < row.begins; ++i) record.Begin();
    for (const Shortcut& s : row.shortcuts) record.Add(s.folder.c_str(), s.link.c_str());
    record.Finish();
    WriteEndRecord(sim, file);
    CloseFile(sim, &file);
    ByteWriter items;
    for (const Shortcut& s : row.shortcuts) {
      items.U16(s.folder.size()).Raw(s.folder).U16(s.link.size()).Raw(s.link);
    }
    ByteWriter expected;
    expected.Raw("OLD!");
    if (row.begins != 0) {
      expected.U16(0x1236).U16(0).U32(4 + items.size()).U32(row.shortcuts.size()).Raw(items.bytes);
    }
    expected.U16(0x7F7F).U16(0).U32(0);
    EXPECT_EQ(record.result(), WRITE_OK) << row.name;
    EXPECT_EQ(sim.FileContents(kLog), expected.str()) << row.name;
  }
}

TEST(UninstallLogTest, ShortcutRecordStopsAtAShortWrite) {
  SimPlatform sim;
  sim.AddDrive('C', 4096, 4096);
  sim.AddFile(kLog, std::string(4096 - 20, 'm'));
  FileHandle file = OpenForWrite(sim, kLog);
  SeekFile(sim, file, 0, kFileEnd);
  ShortcutRecord record(sim, file);
  record.Begin();
  record.Add("C:\\Programs", "a.lnk");  // 2 + 11 + 2 + 5 bytes: 8 fit
  record.Add("C:\\Programs", "b.lnk");
  record.Finish();
  CloseFile(sim, &file);
  EXPECT_EQ(record.result(), WRITE_SHORT);
  // The header still says 0 bytes and 0 items: nothing after the short write.
  ByteWriter expected;
  expected.Raw(std::string(4096 - 20, 'm')).U16(0x1236).U16(0).U32(0).U32(0).U16(11);
  expected.Raw("C:\\Pro");
  EXPECT_EQ(sim.FileContents(kLog), expected.str());
}

TEST(UninstallLogTest, RegistrationRecord) {
  SimPlatform sim;
  sim.AddDrive('C', 1 << 20);
  sim.AddFolder("C:\\App");
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My Tool";
  FileHandle file = CreateForWrite(sim, kLog);
  EXPECT_EQ(WriteRegistrationRecord(sim, file, key.c_str()), WRITE_OK);
  CloseFile(sim, &file);
  ByteWriter expected;
  expected.U16(0x1238).U16(0).U32(key.size() + 6).U32(0x80000002u).U16(key.size()).Raw(key);
  EXPECT_EQ(sim.FileContents(kLog), expected.str());
}

}  // namespace
}  // namespace setup
