// Opening the document entry on the simulated machine: the shell first, then
// the association read by hand, whose command line rules are the point.
#include "install/document_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "package/file_entry.h"
#include "platform/sim/sim_platform.h"
#include "unit/support/byte_writer.h"
#include "unit/support/forwarding_platform.h"

namespace setup {
namespace {

constexpr uintptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC

// The simulated shell opens any file that exists; this one knows no
// association unless told, so the registry path runs.
class NoShellPlatform final : public test::ForwardingPlatform {
 public:
  explicit NoShellPlatform(SimPlatform& sim) : ForwardingPlatform(sim) {}
  bool shellOpens = false;
  int shellCalls = 0;
  uintptr_t ShellExecuteA(WindowHandle owner, const char* file, const char* folder,
                          int show) override {
    ++shellCalls;
    return shellOpens ? ForwardingPlatform::ShellExecuteA(owner, file, folder, show)
                      : kNoAssociation;
  }
};

struct Machine {
  Machine() {
    sim.AddDrive('C', 1 << 30);
    sim.AddFile("C:\\Docs\\README.TXT", "read me");
    sim.AddFile("C:\\My Docs\\read me.txt", "read me");
    sim.SetRegistryString(kHkeyClassesRoot, ".txt", "", "txtfile");
  }
  void Command(const std::string& command) {
    sim.SetRegistryString(kHkeyClassesRoot, "txtfile\\shell\\open\\command", "", command);
  }
  std::string Started() const {
    return sim.processes.empty() ? "(nothing)" : sim.processes.back().commandLine;
  }
  SimPlatform sim;
  NoShellPlatform platform{sim};
};

TEST(OpenWithAssociationTest, CommandLineRules) {
  struct Row {
    const char* name;
    const char* command;  // null: no command key
    const char* path;
    const char* started;  // null: nothing started
  };
  const Row rows[] = {
      {"quoted placeholder and a switch: both dropped, path quoted after two blanks",
       "notepad.exe \"%1\" /p", "C:\\Docs\\README.TXT", "notepad.exe  \"C:\\Docs\\README.TXT\""},
      {"bare placeholder, no blank in the path: unquoted", "notepad.exe %1 /p",
       "C:\\Docs\\README.TXT", "notepad.exe  C:\\Docs\\README.TXT"},
      {"bare placeholder, a blank in the path: quoted", "notepad.exe %1",
       "C:\\My Docs\\read me.txt", "notepad.exe  \"C:\\My Docs\\read me.txt\""},
      {"no placeholder: blank and path at the end", "viewer.exe", "C:\\Docs\\README.TXT",
       "viewer.exe C:\\Docs\\README.TXT"},
      {"quoted program, placeholder right after it",
       "\"C:\\Program Files\\View\\v.exe\"\"%1\"", "C:\\Docs\\README.TXT",
       "\"C:\\Program Files\\View\\v.exe\" \"C:\\Docs\\README.TXT\""},
      {"the quoted placeholder wins over an earlier bare one", "x.exe %1 \"%1\"",
       "C:\\Docs\\README.TXT", "x.exe %1  \"C:\\Docs\\README.TXT\""},
      {"no command key: nothing started", nullptr, "C:\\Docs\\README.TXT", nullptr},
  };
  for (const Row& row : rows) {
    Machine m;
    if (row.command != nullptr) m.Command(row.command);
    uintptr_t result = OpenWithAssociation(m.platform, row.path, ".txt");
    if (row.started == nullptr) {
      EXPECT_EQ(result, kErrorFileNotFound) << row.name;
      EXPECT_TRUE(m.sim.processes.empty()) << row.name;
      continue;
    }
    EXPECT_GT(result, 32u) << row.name;
    ASSERT_EQ(m.sim.processes.size(), 1u) << row.name;
    EXPECT_TRUE(m.sim.processes[0].viaWinExec) << row.name;
    EXPECT_EQ(m.Started(), row.started) << row.name;
  }
}

TEST(OpenWithAssociationTest, ShellFirstAndTextsBoundedByTheirBuffers) {
  {
    Machine m;
    m.platform.shellOpens = true;
    m.Command("notepad.exe %1");
    EXPECT_EQ(OpenWithAssociation(m.platform, "C:\\Docs\\README.TXT", ".txt"), 42u);
    EXPECT_EQ(m.sim.shellExecutions.size(), 1u);
    EXPECT_TRUE(m.sim.processes.empty());
  }
  {
    // A type name that leaves no room for "\shell\open\command".
    Machine m;
    std::string type(250, 't');
    m.sim.SetRegistryString(kHkeyClassesRoot, ".txt", "", type);
    m.sim.SetRegistryString(kHkeyClassesRoot, type + "\\shell\\open\\command", "", "x.exe");
    EXPECT_EQ(OpenWithAssociation(m.platform, "C:\\Docs\\README.TXT", ".txt"), kErrorMoreData);
    EXPECT_TRUE(m.sim.processes.empty());
  }
  {
    // The longest command and the longest target path still fit.
    Machine m;
    m.Command(std::string(250, 'c') + " \"%1\"");
    std::string path = "C:\\" + std::string(515, 'p');
    EXPECT_GT(OpenWithAssociation(m.platform, path.c_str(), ".txt"), 32u);
    EXPECT_EQ(m.Started(), std::string(250, 'c') + "  \"" + path + "\"");
  }
}

TEST(OpenDocumentEntryTest, FindsTheEntrysFileAndItsExtension) {
  struct Row {
    const char* name;
    const char* folder;     // the destination folder
    const char* entryName;  // null: no document entry
    const char* typeKey;    // the extension the association is asked for
    const char* started;
  };
  const Row rows[] = {
      {"in the destination folder", "C:\\App.v2", "README.TXT", ".txt",
       "open  \"C:\\App.v2\\README.TXT\""},
      {"no extension: the folder's dot starts it", "C:\\App.v2", "LICENSE", ".v2\\LICENSE",
       "open  \"C:\\App.v2\\LICENSE\""},
      {"no dot at all: asked under \".\"", "C:\\App", "LICENSE", ".", "open  \"C:\\App\\LICENSE\""},
      {"a missing file opens nothing", "C:\\App.v2", "GONE.TXT", ".txt", nullptr},
      {"no document entry", "C:\\App.v2", nullptr, ".txt", nullptr},
  };
  for (const Row& row : rows) {
    Machine m;
    m.sim.AddFile("C:\\App.v2\\README.TXT", "r");
    m.sim.AddFile(std::string(row.folder) + "\\LICENSE", "l");
    m.sim.SetRegistryString(kHkeyClassesRoot, row.typeKey, "", "doc");
    m.sim.SetRegistryString(kHkeyClassesRoot, "doc\\shell\\open\\command", "", "open \"%1\"");
    test::FileEntrySpec spec;
    spec.strings[ENTRY_NAME] = row.entryName != nullptr ? row.entryName : "";
    test::Bytes entry = test::FileEntryBytes(spec);
    SetupContext context(m.platform);
    CopyText(context.current.destinationFolder, kPathSize, row.folder);
    context.run.documentEntry = row.entryName != nullptr ? entry.data() : nullptr;
    OpenDocumentEntry(context);
    EXPECT_EQ(m.platform.shellCalls, row.started != nullptr ? 1 : 0) << row.name;
    EXPECT_EQ(m.Started(), row.started != nullptr ? row.started : "(nothing)") << row.name;
  }
}

}  // namespace
}  // namespace setup
