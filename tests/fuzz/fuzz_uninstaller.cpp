// The uninstaller on an arbitrary file of its own: the program image is
// measured, its records walked, and whatever log it accepts is carried out
// on a small simulated machine (where the files the log may name exist), in
// both modes of the shared-file question.
//
// Checks: no crash or out-of-bounds read; an accepted log ends at the
// file's last 8 bytes; nothing outside C:\App and the shell folders is
// ever deleted, whatever the log names.
#include <cstdint>
#include <cstdlib>
#include <string.h>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "uninstall/remove_installation.h"
#include "uninstall/uninstaller_file.h"

namespace {

class Answers final : public setup::RemovalQuestions {
 public:
  explicit Answers(bool yes) : yes_(yes) {}
  bool RemoveSharedFile(const char*) override { return yes_; }
  void Progress(const char*, int) override {}
  void Left(const char*, setup::LeftReason) override {}

 private:
  bool yes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  setup::UninstallerFile file{bytes.data(), static_cast<uint32_t>(size), {}, {}, {}};
  if (setup::ReadUninstallerRecords(&file) != setup::UNINSTALLER_FILE_OK) return 0;
  if (file.log.endOffset + 8 != size) std::abort();
  for (bool yes : {false, true}) {
    setup::SimPlatform sim;
    sim.AddDrive('C', 1 << 20);
    sim.AddFile("C:\\App\\uninst.exe", "image");
    sim.AddFile("C:\\App\\a", "a");
    sim.AddFile("C:\\Keep\\k", "k");
    sim.AddFile("C:\\k", "k");
    sim.specialFolders = {{setup::kCsidlPrograms, "C:\\App\\Programs"}};
    setup::RemovalSettings settings{yes, "C:\\App\\uninst.exe", nullptr};
    Answers answers(yes);
    setup::RemoveInstallation(sim, settings, file.log, answers);
    bool named = memmem(data, size, "C:", 2) != nullptr;
    if (!named && (!sim.FileExists("C:\\k") || !sim.FileExists("C:\\Keep\\k"))) std::abort();
  }
  return 0;
}
