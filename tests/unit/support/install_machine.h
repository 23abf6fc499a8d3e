// A simulated Windows machine with a package from the package builder
// (mkpkg's library) on it, and whole unattended install runs of it: every
// question with its text, the progress and the file names shown are kept.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/run_log.h"
#include "install/install_report.h"
#include "install/quiet_install.h"
#include "install/unattended_install.h"
#include "package/component.h"
#include "package/stub_patch.h"
#include "paths/initial_folders.h"
#include "platform/sim/sim_platform.h"
#include "session/load_package.h"
#include "tools/mkpkg/default_texts.h"
#include "tools/mkpkg/package_builder.h"

namespace setup::test {

struct AskedRecord {
  Question question;
  std::string text;
  uint32_t type;
  int answer;
  bool answered;
};

class InstallMachine final : public QuestionRecorder, public ProgressBar, public FileNameDisplay {
 public:
  static constexpr const char* kPackage = "C:\\SETUP\\SETUP.EXE";
  static constexpr const char* kDestination = "C:\\App\\";
  static constexpr const char* kDesktop = "C:\\WINDOWS\\Desktop";
  static constexpr const char* kPrograms = "C:\\WINDOWS\\Start Menu\\Programs";
  static constexpr const char* kFonts = "C:\\WINDOWS\\FONTS";
  static constexpr const char* kImage = "MZ-uninstaller-image";
  static constexpr const char* kSharedDlls =
      "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  static constexpr const char* kUninstallKey =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";

  // Drive C: with room, the Windows, System, Fonts and shell folders, and
  // the SharedDLLs key unless told otherwise.
  explicit InstallMachine(bool sharedDllsKey = true) {
    static int machines = 0;
    host_ = ::testing::TempDir() + "install_machine_" + std::to_string(getpid()) + "_" +
            std::to_string(++machines) + "_";
    sim.AddDrive('C', 1ull << 30);
    for (const char* folder : {"C:\\WINDOWS\\SYSTEM", kFonts, kDesktop, kPrograms, "C:\\SETUP"}) {
      sim.AddFolder(folder);
    }
    sim.AddFolder(std::string(kPrograms) + "\\Startup");
    sim.specialFolders = {{kCsidlDesktop, kDesktop}, {kCsidlPrograms, kPrograms},
                          {kCsidlStartMenu, "C:\\WINDOWS\\Start Menu"},
                          {kCsidlStartup, std::string(kPrograms) + "\\Startup"},
                          {kCsidlFonts, kFonts}};
    if (!sharedDllsKey) return;
    RegKey key = 0;
    sim.RegCreateKeyA(kHkeyLocalMachine, kSharedDlls, &key);
    sim.RegCloseKey(key);
  }
  ~InstallMachine() override {
    Release();
    for (int i = 1; i <= files_; ++i) std::remove((host_ + std::to_string(i)).c_str());
  }

  // A project file whose contents are `contents`, kept in a host file.
  tools::FileSpec File(const std::string& name, const std::string& contents) {
    tools::FileSpec file;
    file.name = name;
    file.path = file.source = host_ + std::to_string(++files_);
    file.size = contents.size();
    std::ofstream(file.source, std::ios::binary) << contents;
    return file;
  }
  // One component "Demo" at kDestination with the default texts; the
  // package carries an uninstaller image.
  tools::Project Project(std::vector<tools::FileSpec> files) {
    tools::Project project;
    project.uninstallerImage = std::vector<uint8_t>(kImage, kImage + TextLength(kImage));
    tools::ComponentSpec component;
    component.displayName = "Demo";
    component.defaultFolder = kDestination;
    component.strings = tools::DefaultTexts();
    component.files = std::move(files);
    project.components.push_back(std::move(component));
    return project;
  }
  // Builds `project` onto the machine as kPackage.
  void Build(const tools::Project& project) {
    tools::BuiltPackage built = tools::BuildPackage(project, Stub());
    std::string region(built.regionSize, '\0');
    std::rewind(built.region.get());
    ASSERT_EQ(std::fread(region.data(), 1, region.size(), built.region.get()), region.size());
    // The setup file and its volumes (SETUP.D01, ...) when the project has any.
    const auto Part = [&region](const tools::OutputFile& file) {
      return std::string(file.head.begin(), file.head.end()) +
             region.substr(file.offset, file.length);
    };
    sim.AddFile(kPackage, Part(built.setupFile));
    for (size_t i = 0; i < built.volumes.size(); ++i) {
      std::string number = std::to_string(i + 1);
      sim.AddFile("C:\\SETUP\\SETUP.D" + std::string(number.size() < 2, '0') + number,
                  Part(built.volumes[i]));
    }
  }
  std::string PackageBytes() const { return *sim.FileContents(kPackage); }

  // Puts a platform over the machine for the runs that follow (made here, so
  // that it outlives the package blocks freed through it).
  template <class P, class... Args>
  P& Wrap(Args&&... args) {
    Release();
    auto wrapper = std::make_unique<P>(sim, std::forward<Args>(args)...);
    P& made = *wrapper;
    wrapper_ = std::move(wrapper);
    return made;
  }

  // Loads the package into a new context on an answering platform over the
  // machine (or its wrapper), with kDestination, calls beforeRun, and runs
  // the install.
  UnattendedResult Run(std::vector<ScriptedAnswer> script) {
    Release();
    asked.clear(), progress.clear(), shown.clear();
    script_ = std::move(script);
    Platform& under = wrapper_ ? *wrapper_ : static_cast<Platform&>(sim);
    answers = std::make_unique<AnsweringPlatform>(under, script_.data(), script_.size(), this);
    context = std::make_unique<SetupContext>(*answers);
    answers->Follow(context->run);
    CopyText(context->packagePath, kPathSize, kPackage);
    context->stubSize = static_cast<uint32_t>(Stub().size());
    context->run.windowsNt = sim.windowsNt;
    context->progress = this;
    context->fileName = this;
    EXPECT_EQ(LoadPackage(*context), 1);
    SelectComponent(context->package, context->current, 0);
    CopyText(context->current.destinationFolder, kPathSize, kDestination);
    if (beforeRun) beforeRun(*context);
    return RunUnattendedInstall(*context, *answers);
  }
  // A quiet install (/Q) as the setup runs it: the package loaded, every
  // component's initial folder found, then component `component` into
  // `folder` (empty: its own), the log written to `logPath` on the machine
  // (empty: none). No answering platform stands in front of the machine:
  // whatever reached its MessageBoxA would be in sim.messageBoxes. Returns the
  // exit code.
  int RunQuiet(int component, const std::string& folder, const std::string& logPath = "") {
    Release();
    Platform& under = wrapper_ ? *wrapper_ : static_cast<Platform&>(sim);
    context = std::make_unique<SetupContext>(under);
    CopyText(context->packagePath, kPathSize, kPackage);
    context->stubSize = static_cast<uint32_t>(Stub().size());
    context->run.windowsNt = sim.windowsNt;
    context->run.quiet = true;
    if (!logPath.empty() && log.Open(under, logPath.c_str())) context->run.log = &log;
    int code = QUIET_NO_PACKAGE;
    if (LoadPackage(*context) == 1) {
      FindInitialFolders(under, kPackage, context->package, context->current.index,
                         context->current.destinationFolder);
      if (beforeRun) beforeRun(*context);
      code = RunQuietInstall(*context, component, folder.c_str());
    } else {
      ReportResult(*context, code);
    }
    log.Close();
    return code;
  }
  RunLog log;
  std::function<void(SetupContext&)> beforeRun;
  std::function<void(const AskedRecord&)> onQuestion;  // as each is asked

  std::vector<Question> Questions() const {
    std::vector<Question> kinds;
    for (const AskedRecord& record : asked) kinds.push_back(record.question);
    return kinds;
  }
  void Asked(Question question, const char* text, uint32_t type, int answer,
             bool answered) override {
    asked.push_back({question, text, type, answer, answered});
    if (onQuestion) onQuestion(asked.back());
  }
  void SetProgressPercent(int percent) override { progress.push_back(percent); }
  void ShowFileName(const char* text) override { shown.emplace_back(text); }

  SimPlatform sim;
  std::unique_ptr<AnsweringPlatform> answers;
  std::unique_ptr<SetupContext> context;
  std::vector<AskedRecord> asked;
  std::vector<int> progress;
  std::vector<std::string> shown;

 private:
  // A stand-in stub: filler around the patch block the builder fills in.
  static std::vector<uint8_t> Stub() {
    std::vector<uint8_t> stub(64, 0x90);
    std::copy(std::begin(kPatchMarker), std::end(kPatchMarker), stub.begin() + 16);
    return stub;
  }
  void Release() {
    if (context) FreePackage(*context);
    context.reset();
    answers.reset();
  }
  std::unique_ptr<Platform> wrapper_;  // outlives the context: ~InstallMachine releases first
  std::string host_;
  int files_ = 0;
  std::vector<ScriptedAnswer> script_;
};

}  // namespace setup::test
