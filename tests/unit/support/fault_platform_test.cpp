// The fault-injection platform: which call fails, how, and that a "killed"
// run changes nothing more.
#include "unit/support/fault_platform.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_platform.h"

namespace setup::test {
namespace {

using Mode = FaultPlatform::Mode;

// Six mutating calls: create, write, attributes, rename, registry value, profile.
struct Outcome {
  bool created, wrote, attributes, moved, registry, profile;
  uint32_t written;   // bytes the write reported
  uint32_t error;     // GetLastError after the first failure
};

Outcome RunCalls(FaultPlatform& p, SimPlatform& sim) {
  Outcome o{};
  auto note = [&](bool ok) {
    if (!ok && o.error == 0) o.error = p.GetLastError();
    return ok;
  };
  FileHandle f = p.CreateFileA("C:\\A.TMP", kGenericWrite, 0, kCreateAlways);
  o.created = note(f != kInvalidFile);
  if (o.created) {
    o.wrote = note(p.WriteFile(f, "0123456789", 10, &o.written) != 0 && o.written == 10);
    p.CloseHandle(f);
  }
  o.attributes = note(p.SetFileAttributesA("C:\\A.TMP", kAttrReadOnly) != 0);
  o.moved = note(p.MoveFileA("C:\\A.TMP", "C:\\A.DAT") != 0);
  RegKey key = 0;
  long r = p.RegOpenKeyA(kHkeyCurrentUser, "Software", &key);
  if (r == 0) {
    r = p.RegSetValueExA(key, "v", kRegSz, "x", 2);
    p.RegCloseKey(key);
  }
  o.registry = r == 0;
  if (!o.registry && o.error == 0) o.error = static_cast<uint32_t>(r);
  o.profile = note(p.WritePrivateProfileStringA("s", "k", "v", "C:\\A.INI") != 0);
  EXPECT_EQ(sim.OpenHandleCount(), 0u);
  return o;
}

TEST(FaultPlatformTest, TheChosenCallFailsInEachMode) {
  struct Row {
    const char* name;
    uint64_t failAt;
    Mode mode;
    Outcome expected;
    const char* fileAfter;  // contents of C:\A.DAT (null: none)
  };
  const Row rows[] = {
      {"counting only", 0, Mode::kKilled, {true, true, true, true, true, true, 10, 0}, "0123456789"},
      {"the write comes up short on a full disk", 2, Mode::kDiskFull,
       {true, false, true, true, true, true, 5, kErrorDiskFull}, "01234"},
      {"the rename is refused", 4, Mode::kAccessDenied,
       {true, true, true, false, true, true, 10, kErrorAccessDenied}, nullptr},
      {"a full disk refuses the registry value", 5, Mode::kDiskFull,
       {true, true, true, true, false, true, 10, kErrorDiskFull}, "0123456789"},
      {"killed at the attributes: nothing after changes", 3, Mode::kKilled,
       {true, true, false, false, false, false, 10, kErrorAccessDenied}, nullptr},
  };
  for (const Row& row : rows) {
    SimPlatform sim;
    sim.AddDrive('C', 1 << 20);
    sim.SetRegistryString(kHkeyCurrentUser, "Software", "old", "1");
    FaultPlatform p(sim);
    p.FailAt(row.failAt, row.mode);
    Outcome o = RunCalls(p, sim);
    const Outcome& e = row.expected;
    EXPECT_EQ(p.count(), 6u) << row.name;
    EXPECT_EQ(p.calls()[1], "WriteFile C:\\A.TMP (10 bytes)") << row.name;
    EXPECT_EQ(p.injected(), row.failAt != 0) << row.name;
    EXPECT_EQ(p.killed(), row.mode == Mode::kKilled && row.failAt != 0) << row.name;
    EXPECT_EQ(o.created, e.created) << row.name;
    EXPECT_EQ(o.wrote, e.wrote) << row.name;
    EXPECT_EQ(o.attributes, e.attributes) << row.name;
    EXPECT_EQ(o.moved, e.moved) << row.name;
    EXPECT_EQ(o.registry, e.registry) << row.name;
    EXPECT_EQ(o.profile, e.profile) << row.name;
    EXPECT_EQ(o.written, e.written) << row.name;
    EXPECT_EQ(o.error, e.error) << row.name;
    std::optional<std::string> after = sim.FileContents("C:\\A.DAT");
    EXPECT_EQ(after.has_value(), row.fileAfter != nullptr) << row.name;
    if (after && row.fileAfter != nullptr) EXPECT_EQ(*after, row.fileAfter) << row.name;
    EXPECT_EQ(sim.RegistryValue(kHkeyCurrentUser, "Software", "v").has_value(), e.registry)
        << row.name;
    EXPECT_EQ(sim.FileExists("C:\\A.INI"), e.profile) << row.name;
  }
}

}  // namespace
}  // namespace setup::test
