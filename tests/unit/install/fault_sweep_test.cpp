// The fault-injection sweep: one component of a few dozen files (a patch, a
// shared file in the System folder, a read-only target, file times, a
// shortcut, the uninstaller with its log, registry and INI entries) installed
// over an earlier installation on the simulated machine, once for every call
// of the run that changes the machine, with that one call failing: the disk
// full, access denied, or the process killed there.
//
// After each run, what the user and the uninstaller find must be sound:
//   - every target holds its old content or its complete new content; or,
//     after a failed rename (error 22) or a kill between delete and rename,
//     nothing, with the complete new content in a temporary file beside it;
//   - no temporary file is left, except one handed to the restart-time
//     replacement or one kept as just said (a killed run may leave the one it
//     was writing: counted, not a fault);
//   - the read-only target is still read-only, whichever content it holds;
//   - the uninstaller's stream reads whole from where the log begins (old
//     log, no log yet, or the new one), and every file the log lists holds
//     the new content: the uninstaller never deletes a file this run did not
//     put there;
//   - a run that did not install a file, hand it to the restart-time
//     replacement or keep it by a rule reports an error.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "install/unattended_install.h"
#include "package/entry_kinds.h"
#include "tools/pkgtool/uninstall_log_reader.h"
#include "unit/support/fault_platform.h"
#include "unit/support/install_machine.h"
#include "unit/support/package_data.h"

namespace setup {
namespace {

using test::FaultPlatform;
using test::InstallMachine;
using Mode = FaultPlatform::Mode;

const std::string kApp = "C:\\App\\";
const std::string kSystem = "C:\\WINDOWS\\SYSTEM\\";
const std::string kUninstaller = kApp + "UNINST.EXE";

struct Target {
  std::string path;
  std::optional<std::string> old;  // before the run; none: absent
  std::string fresh;               // what the run installs
};

std::span<const uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The package, built once, and the earlier installation it goes over.
class Scenario {
 public:
  Scenario() {
    InstallMachine m;
    std::vector<tools::FileSpec> files;
    tools::FileSpec uninstaller;
    uninstaller.name = "UNINST.EXE";
    uninstaller.uninstaller = true;
    uninstaller.placement = PLACE_KEEP;
    files.push_back(uninstaller);
    for (int i = 1; i <= 24; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, i % 5 == 0 ? "sub\\deep\\F%02d.TXT" : "F%02d.TXT", i);
      // Sizes from a few bytes to past the decoder's output buffer.
      std::string fresh = test::Noise(static_cast<size_t>(7 + i * i * 97), 100 + i);
      files.push_back(m.File(name, fresh));
      AddTarget(kApp + name, fresh, i <= 8 ? std::optional(test::Noise(50 + i, 200 + i)) : std::nullopt);
    }
    std::string readOnly = test::Noise(3000, 7);
    files.push_back(m.File("RO.DAT", readOnly));
    AddTarget(kApp + "RO.DAT", readOnly, std::string("old read-only"));
    std::string shared = test::Noise(9000, 8);
    tools::FileSpec dll = m.File("SWEEP.DLL", shared);
    dll.folderKind = FOLDER_SYSTEM;
    dll.shared = true;
    files.push_back(dll);
    AddTarget(kSystem + "SWEEP.DLL", shared, std::string("old shared library"));
    // Held open by another program: it goes to the restart-time replacement.
    std::string held = test::Noise(4000, 11);
    tools::FileSpec heldDll = m.File("HELD.DLL", held);
    heldDll.folderKind = FOLDER_SYSTEM;
    heldDll.shared = true;
    files.push_back(heldDll);
    AddTarget(kSystem + "HELD.DLL", held, std::string("old held library"));
    std::string base = test::Noise(20000, 9);
    std::string patched = base.substr(0, 12000) + "patched in the middle" + base.substr(12500);
    tools::FileSpec patch = m.File("APP.EXE", patched);
    patch.patchFrom = tools::PatchBaseRef{1, 0};
    files.push_back(patch);
    AddTarget(kApp + "APP.EXE", patched, base);
    std::string timed = "file with times\r\n";
    tools::FileSpec times = m.File("TIMES.TXT", timed);
    times.times = tools::FileTimes{0x01C0000000000000ull, 0x01C0000000000001ull, 0x01C0000000000002ull};
    files.push_back(times);
    AddTarget(kApp + "TIMES.TXT", timed, std::nullopt);
    std::string linked = test::Noise(500, 10);
    tools::FileSpec link = m.File("LINKED.EXE", linked);
    link.shortcutFolder = "Sweep";
    link.shortcutName = "Sweep App";
    link.desktopName = "Sweep";
    files.push_back(link);
    AddTarget(kApp + "LINKED.EXE", linked, std::nullopt);
    fileCount = files.size();

    tools::Project project = m.Project(files);
    tools::ComponentSpec baseComponent;
    baseComponent.displayName = "Base";
    baseComponent.defaultFolder = kApp;
    baseComponent.strings = project.components[0].strings;
    baseComponent.files.push_back(m.File("APP.EXE", base));
    project.components.push_back(baseComponent);
    tools::ComponentSpec& c = project.components[0];
    c.registry.push_back({2, false, "Software\\Sweep", "Home", "#InstallDir#"});
    c.ini.push_back({false, "C:\\WINDOWS\\SWEEP.INI", "Sweep", "Home", "#InstallDir#"});
    m.Build(project);
    package = m.PackageBytes();

    // The earlier installation's uninstaller: the image, its (empty) stream,
    // and its log, which names one file.
    image = InstallMachine::kImage;
    logOffset = image.size();
    oldLog = std::string("\x35\x12\0\0", 4);
    std::string items = std::string("\1\0\0\0\1\0.\7\0OLD.TXT\0", 17);
    char length[4] = {static_cast<char>(items.size()), 0, 0, 0};
    oldLog += std::string(length, 4) + items + std::string("\x7F\x7F\0\0\0\0\0\0", 8);
  }

  void Prepare(InstallMachine& m, bool nt) const {
    m.sim.windowsNt = nt;
    m.sim.AddFile(InstallMachine::kPackage, package);
    for (const Target& t : targets) {
      if (t.old) m.sim.AddFile(t.path, *t.old);
    }
    m.sim.HoldOpenByOtherProcess(kSystem + "HELD.DLL");
    m.sim.SetFileAttributesA((kApp + "RO.DAT").c_str(), kAttrReadOnly);
    m.sim.AddFile(kUninstaller, image + oldLog);
    m.sim.AddFile(kApp + "OLD.TXT", "from the earlier installation");
  }

  std::string package;
  std::vector<Target> targets;
  std::string image;
  std::string oldLog;
  uint64_t logOffset = 0;
  size_t fileCount = 0;

 private:
  void AddTarget(const std::string& path, const std::string& fresh,
                 std::optional<std::string> old) {
    targets.push_back({path, std::move(old), fresh});
  }
};

const Scenario& TheScenario() {
  static const Scenario scenario;
  return scenario;
}

bool IsTemporary(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot != std::string::npos && path.find('\\', dot) == std::string::npos &&
         path.compare(dot, 2, ".$") == 0;
}

// The full path of a logged file item.
std::string LoggedPath(const tools::LoggedFile& f) {
  if (f.folder == ".") return kApp + f.name;
  if (f.folder.rfind(".\\", 0) == 0) return kApp + f.folder.substr(2) + "\\" + f.name;
  return f.folder + "\\" + f.name;
}

struct Outcome {
  std::vector<std::string> faults;  // broken invariants
  int leftoverOfKill = 0;           // temporary files a killed run left
  bool reported = false;
  bool readOnlyLost = false;        // the attribute could not be put back
};

Outcome Check(const Scenario& s, InstallMachine& m, const FaultPlatform& f,
              UnattendedResult result) {
  Outcome o;
  SimPlatform& sim = m.sim;
  bool killed = f.killed();
  int error = m.context->run.error.number;
  o.reported = result != UNATTENDED_DONE;
  std::map<std::string, std::string> handed;  // restart-time replacements: to -> from
  for (const SimPlatform::DelayedMove& move : sim.delayedMoves) {
    handed[Upper(move.to)] = Upper(move.from);
  }
  // Windows 98: the [Rename] section of WININIT.INI, target=source (short names).
  std::string wininit = sim.FileContents("C:\\WINDOWS\\WININIT.INI").value_or("");
  bool renames = false;
  for (size_t at = 0; at < wininit.size();) {
    size_t end = wininit.find('\n', at);
    std::string line = wininit.substr(at, end == std::string::npos ? end : end - at);
    at = end == std::string::npos ? wininit.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') renames = Upper(line) == "[RENAME]";
    size_t eq = line.find('=');
    if (renames && eq != std::string::npos) handed[Upper(line.substr(0, eq))] = Upper(line.substr(eq + 1));
  }
  std::set<std::string> handedFrom;
  for (const auto& [to, from] : handed) handedFrom.insert(from);

  std::vector<std::string> temps;
  for (const std::string& path : sim.ListFiles()) {
    if (IsTemporary(path)) temps.push_back(path);
  }
  auto tempHolding = [&](const std::string& content) {
    for (const std::string& t : temps) {
      if (sim.FileContents(t) == content) return t;
    }
    return std::string();
  };
  std::set<std::string> keptTemps;

  for (const Target& t : s.targets) {
    std::optional<std::string> now = sim.FileContents(t.path);
    if (now == t.fresh) continue;
    // After a failed rename (error 22), or a kill, the new content may wait
    // in its temporary file.
    std::string kept = tempHolding(t.fresh);
    if ((error == ERR_REPLACE || killed) && !kept.empty()) keptTemps.insert(Upper(kept));
    if (!now && t.old && (kept.empty() || (error != ERR_REPLACE && !killed))) {
      o.faults.push_back(t.path + " is gone" +
                         (kept.empty() ? ", its new content nowhere" : " without error 22"));
    } else if (now && now != t.old) {
      o.faults.push_back(t.path + " holds neither its old nor its new content (" +
                         std::to_string(now->size()) + " bytes)");
      continue;
    }
    if (!o.reported && !killed && handed.count(Upper(t.path)) == 0) {
      o.faults.push_back(t.path + " was not installed and the run reported no error");
    }
  }
  o.readOnlyLost = (sim.GetFileAttributesA((kApp + "RO.DAT").c_str()) & kAttrReadOnly) == 0;

  std::optional<std::string> uninstaller = sim.FileContents(kUninstaller);
  if (!uninstaller) {
    std::string kept = tempHolding(s.image + std::string("\x7F\x7F\0\0\0\0\0\0", 8));
    if ((error == ERR_REPLACE || killed) && !kept.empty()) {
      keptTemps.insert(Upper(kept));
    } else {
      o.faults.push_back("the uninstaller is gone, its new content nowhere");
    }
  } else if (uninstaller->compare(0, s.image.size(), s.image) != 0) {
    o.faults.push_back("the uninstaller's image is damaged");
  } else {
    tools::LogReadResult read = tools::ReadUninstallerStream(Span(*uninstaller), s.logOffset);
    if (!read.log) {
      o.faults.push_back("the uninstaller's stream does not read: " + read.error);
    } else if (*uninstaller != s.image + s.oldLog && read.log->present) {
      for (const tools::LoggedFile& item : read.log->files) {
        std::string path = LoggedPath(item);
        for (const Target& t : s.targets) {
          // A file handed to the restart-time replacement becomes the new one.
          if (Upper(t.path) == Upper(path) && sim.FileContents(path) != t.fresh &&
              handed.count(Upper(path)) == 0) {
            o.faults.push_back("the log lists " + path + ", which this run did not install");
          }
        }
      }
    }
  }
  for (const std::string& t : temps) {
    if (handedFrom.count(Upper(t)) != 0 || keptTemps.count(Upper(t)) != 0) continue;
    if (killed) {
      ++o.leftoverOfKill;
    } else {
      o.faults.push_back("temporary file " + t + " left behind");
    }
  }
  return o;
}

// The read-only target is to be replaced; any other question (a file the
// injected failure makes look in use) goes unanswered and stops the run.
const std::vector<ScriptedAnswer> kScript = {{QUESTION_READ_ONLY, kIdYes}};

class FaultSweepTest : public ::testing::TestWithParam<bool> {};

TEST_P(FaultSweepTest, EveryMutatingCallFailingLeavesTheMachineSound) {
  const Scenario& s = TheScenario();
  const bool nt = GetParam();
  // A clean run: every file installed, the log whole; it tells the points.
  uint64_t points = 0;
  {
    InstallMachine m;
    s.Prepare(m, nt);
    FaultPlatform& counter = m.Wrap<FaultPlatform>();
    ASSERT_EQ(m.Run(kScript), UNATTENDED_DONE) << m.context->run.error.number;
    points = counter.count();
    if (std::getenv("SWEEP_CALLS") != nullptr) {
      for (size_t i = 0; i < counter.calls().size(); ++i) std::printf("%zu %s\n", i + 1, counter.calls()[i].c_str());
    }
    Outcome o = Check(s, m, counter, UNATTENDED_DONE);
    for (const std::string& fault : o.faults) ADD_FAILURE() << "clean run: " << fault;
    tools::LogReadResult log = tools::FindUninstallLog(Span(*m.sim.FileContents(kUninstaller)));
    ASSERT_TRUE(log.log) << log.error;
    EXPECT_EQ(log.log->offset, s.logOffset);
    // Every file but the uninstaller and the one held open, and the desktop
    // shortcut.
    EXPECT_EQ(log.log->files.size(), s.fileCount - 1);
  }
  ASSERT_GT(points, 3 * s.fileCount);

  struct Tally {
    const char* name;
    Mode mode;
    int runs = 0, errors = 0, faulty = 0, leftovers = 0, readOnlyLost = 0;
  };
  Tally tallies[] = {{"disk full", Mode::kDiskFull}, {"access denied", Mode::kAccessDenied},
                     {"killed", Mode::kKilled}};
  int shown = 0;
  for (Tally& tally : tallies) {
    for (uint64_t k = 1; k <= points; ++k) {
      InstallMachine m;
      s.Prepare(m, nt);
      FaultPlatform& f = m.Wrap<FaultPlatform>();
      f.FailAt(k, tally.mode);
      UnattendedResult result = m.Run(kScript);
      Outcome o = Check(s, m, f, result);
      ++tally.runs;
      tally.errors += o.reported ? 1 : 0;
      tally.leftovers += o.leftoverOfKill;
      tally.readOnlyLost += o.readOnlyLost ? 1 : 0;
      if (o.faults.empty()) continue;
      ++tally.faulty;
      for (const std::string& fault : o.faults) {
        if (++shown <= 30) {
          ADD_FAILURE() << tally.name << " at call " << k << " ("
                        << (k <= f.calls().size() ? f.calls()[k - 1] : "?") << "), error "
                        << m.context->run.error.number << ": " << fault;
        }
      }
    }
  }
  std::printf("fault sweep (%s): %llu injection points per mode\n", nt ? "Windows NT" : "Windows 98",
              static_cast<unsigned long long>(points));
  for (const Tally& t : tallies) {
    std::printf("  %-13s %d runs, %d reported an error, %d broke an invariant, %d temporary "
                "files left by the kill, %d left the read-only target writable\n",
                t.name, t.runs, t.errors, t.faulty, t.leftovers, t.readOnlyLost);
  }
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, FaultSweepTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NT" : "Windows98"; });

}  // namespace
}  // namespace setup
