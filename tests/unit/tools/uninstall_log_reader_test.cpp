// The uninstall log reader on uninstaller files written byte by byte here: an
// image, the uninstaller's own records, the log; whole, and damaged.
#include "tools/pkgtool/uninstall_log_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/pkgtool/commands.h"
#include "unit/support/byte_writer.h"

namespace setup::tools {
namespace {

using test::ByteWriter;
using test::Bytes;

const std::string kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo App";

ByteWriter& Counted(ByteWriter& w, const std::string& text) {
  return w.U16(static_cast<uint32_t>(text.size())).Raw(text);
}

ByteWriter& Record(ByteWriter& w, uint32_t type, const Bytes& payload, uint32_t flags = 0) {
  return w.U16(type).U16(flags).U32(static_cast<uint32_t>(payload.size())).Raw(payload);
}

Bytes FilePayload() {
  ByteWriter p;
  p.U32(3);
  Counted(Counted(p, "."), "APP.EXE").U8(0);
  Counted(Counted(p, ".\\bin\\data"), "TABLE.DAT").U8(0);
  Counted(Counted(p, "C:\\WINDOWS\\SYSTEM"), "SHARED.DLL").U8(0x05);
  return p.bytes;
}

Bytes ShortcutPayload() {
  ByteWriter p;
  p.U32(1);
  Counted(Counted(p, "C:\\WINDOWS\\Start Menu\\Programs\\Demo"), "Demo.lnk");
  return p.bytes;
}

Bytes RegistrationPayload() {
  ByteWriter p;
  p.U32(0x80000002u);
  Counted(p, kKey);
  return p.bytes;
}

// The image and the uninstaller's own stream up to its last record; `head`
// bytes long. The own record has type 0x1235 on purpose: in the uninstaller's
// own data the number may mean something else.
ByteWriter Head() {
  ByteWriter w;
  w.Raw("MZ uninstaller image ");
  Record(w, 0x1235, Bytes{0x02, 0x00, 0x00, 0x00, 0x35, 0x12});
  return w;
}

Bytes WholeFile(size_t* logAt) {
  ByteWriter w = Head();
  *logAt = w.size();
  Record(w, 0x1235, FilePayload());
  Record(w, 0x1236, ShortcutPayload());
  Record(w, 0x1238, RegistrationPayload());
  Record(w, 0x7F7F, {});
  return w.bytes;
}

TEST(UninstallLogReaderTest, WholeLogFoundFromTheEndAndAtItsOffset) {
  size_t logAt = 0;
  Bytes file = WholeFile(&logAt);
  for (bool search : {true, false}) {
    LogReadResult read = search ? FindUninstallLog(file) : ReadUninstallLogAt(file, logAt);
    ASSERT_TRUE(read.log) << read.error;
    const UninstallLog& log = *read.log;
    EXPECT_EQ(log.offset, logAt);
    EXPECT_EQ(log.files, (std::vector<LoggedFile>{{".", "APP.EXE", 0},
                                                   {".\\bin\\data", "TABLE.DAT", 0},
                                                   {"C:\\WINDOWS\\SYSTEM", "SHARED.DLL", 5}}));
    ASSERT_TRUE(log.shortcuts);
    EXPECT_EQ(*log.shortcuts, (std::vector<LoggedShortcut>{
                                  {"C:\\WINDOWS\\Start Menu\\Programs\\Demo", "Demo.lnk"}}));
    EXPECT_EQ(log.registrationRoot, 0x80000002u);
    EXPECT_EQ(log.registrationKey, kKey);
    EXPECT_EQ(log.endOffset, file.size() - 8);
  }
}

TEST(UninstallLogReaderTest, OptionalRecordsAndDamage) {
  struct Row {
    const char* name;
    std::function<void(ByteWriter&)> log;  // written after Head()
    size_t cut;                             // bytes taken off the end
    const char* error;                      // null: reads; else a part of the message
  };
  auto files = [](ByteWriter& w) { Record(w, 0x1235, FilePayload()); };
  auto end = [](ByteWriter& w) { Record(w, 0x7F7F, {}); };
  const Row rows[] = {
      {"registration without shortcuts",
       [&](ByteWriter& w) { files(w); Record(w, 0x1238, RegistrationPayload()); end(w); }, 0, nullptr},
      {"cut inside the registration", [&](ByteWriter& w) {
         files(w); Record(w, 0x1238, RegistrationPayload()); end(w); }, 11,
       "does not end with an end record"},
      {"count larger than the payload holds", [&](ByteWriter& w) {
         Bytes p = FilePayload(); p[0] = 0xFF; p[1] = 0xFF; p[2] = 0xFF; p[3] = 0x7F;
         Record(w, 0x1235, p); end(w); }, 0, "more than its"},
      {"a name longer than its record", [&](ByteWriter& w) {
         Bytes p = FilePayload(); p.resize(p.size() - 1); Record(w, 0x1235, p); end(w); }, 0,
       "file item 2 runs past"},
      {"bytes after the last item", [&](ByteWriter& w) {
         Bytes p = FilePayload(); p.push_back(7); Record(w, 0x1235, p); end(w); }, 0,
       "1 bytes after its last item"},
      {"shortcut record after the registration", [&](ByteWriter& w) {
         files(w); Record(w, 0x1238, RegistrationPayload()); Record(w, 0x1236, ShortcutPayload());
         end(w); }, 0, "does not belong here"},
      {"header flags set", [&](ByteWriter& w) {
         files(w); Record(w, 0x1236, ShortcutPayload(), 1); end(w); }, 0, "has flags 0x1"},
      {"an end record with a payload, then the real end", [&](ByteWriter& w) {
         files(w); Record(w, 0x7F7F, Bytes{1, 2}); end(w); }, 0, "payload of 2 bytes"},
      {"a record length past the end of the file", [&](ByteWriter& w) {
         files(w); w.U16(0x1236).U16(0).U32(0xFFFFFFF0u); end(w); }, 0, "past the end of the file"},
  };
  for (const Row& row : rows) {
    ByteWriter w = Head();
    size_t logAt = w.size();
    row.log(w);
    Bytes file = w.bytes;
    file.resize(file.size() - row.cut);
    LogReadResult found = FindUninstallLog(file);
    LogReadResult at = ReadUninstallLogAt(file, logAt);
    if (row.error == nullptr) {
      ASSERT_TRUE(found.log) << row.name << ": " << found.error;
      EXPECT_EQ(found.log->offset, logAt) << row.name;
      EXPECT_TRUE(at.log) << row.name << ": " << at.error;
      continue;
    }
    EXPECT_FALSE(found.log) << row.name;
    EXPECT_FALSE(at.log) << row.name;
    std::string both = found.error + " | " + at.error;
    EXPECT_NE(both.find(row.error), std::string::npos) << row.name << ": " << both;
  }
}

// As the uninstaller reads its stream: up to the first end header. A run that
// died after writing items but before the file record's header leaves the old
// end header in place, which still reads (as no log); once the header is
// written the log must be whole.
TEST(UninstallLogReaderTest, StreamViewStopsAtTheFirstEndHeader) {
  size_t logAt = 0;
  Bytes whole = WholeFile(&logAt);
  Bytes before(whole.begin(), whole.begin() + static_cast<long>(logAt));
  ByteWriter w;
  Record(w, 0x7F7F, {});
  w.Raw(FilePayload());  // items written, header not yet
  before.insert(before.end(), w.bytes.begin(), w.bytes.end());
  LogReadResult old = ReadUninstallerStream(before, logAt);
  ASSERT_TRUE(old.log) << old.error;
  EXPECT_FALSE(old.log->present);
  EXPECT_FALSE(ReadUninstallLogAt(before, logAt).log);
  Bytes longer = whole;
  longer.push_back(0x55);
  LogReadResult read = ReadUninstallerStream(longer, logAt);
  ASSERT_TRUE(read.log) << read.error;
  EXPECT_TRUE(read.log->present);
  EXPECT_EQ(read.log->files.size(), 3u);
  Bytes cut(whole.begin(), whole.end() - 12);
  EXPECT_FALSE(ReadUninstallerStream(cut, logAt).log);
}

// The command as a user runs it: exit codes, escaped names, the error told.
TEST(UninstallLogCommandTest, PrintsRecordsAndRefusesDamage) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("uninstall_log_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto run = [&](const Bytes& bytes, std::optional<uint64_t> at, std::string* out,
                 std::string* err) {
    std::string path = (dir / "UNINST.EXE").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::ostringstream o, e;
    int code = PrintUninstallLog(path, at, o, e);
    *out = o.str();
    *err = e.str();
    return code;
  };
  ByteWriter w = Head();
  size_t logAt = w.size();
  ByteWriter p;
  p.U32(1);
  Counted(Counted(p, std::string(".\\a\x01", 4)), std::string("b\0c\x1b", 4)).U8(0x03);
  Record(w, 0x1235, p.bytes);
  Record(w, 0x7F7F, {});
  std::string out, err;
  EXPECT_EQ(run(w.bytes, std::nullopt, &out, &err), 0) << err;
  EXPECT_EQ(out, "log at offset " + std::to_string(logAt) + "\nfiles: 1\n"
                 "  \".\\a\\x01\" \"b\\x00c\\x1B\" flags 0x03 shared font\nend at offset " +
                     std::to_string(w.size() - 8) + "\n");
  Bytes cut = w.bytes;
  cut.resize(cut.size() - 1);
  EXPECT_EQ(run(cut, std::nullopt, &out, &err), 1);
  EXPECT_TRUE(out.empty());
  EXPECT_NE(err.find("does not end with an end record"), std::string::npos) << err;
  EXPECT_EQ(run(w.bytes, 5, &out, &err), 1);
  EXPECT_NE(err.find("no file record at offset 5"), std::string::npos) << err;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace setup::tools
