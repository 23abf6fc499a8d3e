// A simulated Windows machine with a package from the package builder
// (mkpkg's library) on it, and whole unattended install runs of it: the
// answers, every question with its text, the progress and the file names
// shown are kept for the test to look at.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "install/unattended_install.h"
#include "platform/sim/sim_platform.h"
#include "session/setup_context.h"
#include "tools/mkpkg/project.h"

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

  // Drive C: with room to spare, the Windows, System, Fonts and shell
  // folders, and the SharedDLLs key.
  InstallMachine();
  ~InstallMachine() override;

  // A file spec whose contents are `contents` (written to a host file).
  tools::FileSpec File(const std::string& name, const std::string& contents);
  // A project of one component at kDestination with the default texts and
  // an uninstaller image.
  tools::Project Project(std::vector<tools::FileSpec> files);
  // Builds `project` onto the machine as kPackage.
  void Build(const tools::Project& project);
  // The package file's bytes, for damaging.
  std::string PackageBytes() const { return *sim.FileContents(kPackage); }

  // Loads the package into a new context on an answering platform over
  // `platform` (the simulated machine unless given), makes component
  // `component` current and runs the install.
  UnattendedResult Run(std::vector<ScriptedAnswer> script, int component = 0,
                       Platform* platform = nullptr);
  // Called after the load and before the run.
  std::function<void(SetupContext&)> beforeRun;
  // Called for each question as it is asked.
  std::function<void(const AskedRecord&)> onQuestion;

  SimPlatform sim;
  std::unique_ptr<AnsweringPlatform> answers;
  std::unique_ptr<SetupContext> context;
  std::vector<AskedRecord> asked;
  std::vector<int> progress;
  std::vector<std::string> shown;
  std::vector<Question> Questions() const;

  void Asked(Question question, const char* text, uint32_t type, int answer,
             bool answered) override;
  void SetProgressPercent(int percent) override { progress.push_back(percent); }
  void ShowFileName(const char* text) override { shown.emplace_back(text); }

 private:
  void Release();
  std::string hostFolder_;
  int files_ = 0;
  std::vector<ScriptedAnswer> script_;
};

}  // namespace setup::test
