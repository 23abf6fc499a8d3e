#include "unit/support/install_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/text.h"
#include "package/component.h"
#include "package/stub_patch.h"
#include "session/load_package.h"
#include "tools/mkpkg/default_texts.h"
#include "tools/mkpkg/package_builder.h"

namespace setup::test {

namespace {

// A stand-in stub: filler around the patch block the builder fills in.
std::vector<uint8_t> Stub() {
  std::vector<uint8_t> stub(64, 0x90);
  std::copy(std::begin(kPatchMarker), std::end(kPatchMarker), stub.begin() + 16);
  return stub;
}

}  // namespace

InstallMachine::InstallMachine() {
  static int machines = 0;
  hostFolder_ = ::testing::TempDir() + "install_machine_" + std::to_string(getpid()) + "_" +
                std::to_string(++machines);
  std::filesystem::create_directories(hostFolder_);
  sim.AddDrive('C', 1ull << 30);
  sim.AddFolder("C:\\WINDOWS\\SYSTEM");
  sim.AddFolder(kFonts);
  sim.AddFolder(kDesktop);
  sim.AddFolder(kPrograms);
  sim.AddFolder("C:\\WINDOWS\\Start Menu\\Programs\\Startup");
  sim.AddFolder("C:\\SETUP");
  sim.specialFolders = {{kCsidlDesktop, kDesktop},
                        {kCsidlPrograms, kPrograms},
                        {kCsidlStartMenu, "C:\\WINDOWS\\Start Menu"},
                        {kCsidlStartup, "C:\\WINDOWS\\Start Menu\\Programs\\Startup"},
                        {kCsidlFonts, kFonts}};
  RegKey key = 0;
  sim.RegCreateKeyA(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                    &key);
  sim.RegCloseKey(key);
}

InstallMachine::~InstallMachine() {
  Release();
  std::error_code ignored;
  std::filesystem::remove_all(hostFolder_, ignored);
}

void InstallMachine::Release() {
  if (context) FreePackage(*context);
  context.reset();
  answers.reset();
}

tools::FileSpec InstallMachine::File(const std::string& name, const std::string& contents) {
  tools::FileSpec file;
  file.name = name;
  file.source = hostFolder_ + "/f" + std::to_string(++files_);
  file.path = file.source;
  file.size = contents.size();
  std::ofstream(file.source, std::ios::binary) << contents;
  return file;
}

tools::Project InstallMachine::Project(std::vector<tools::FileSpec> files) {
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

void InstallMachine::Build(const tools::Project& project) {
  tools::BuiltPackage built = tools::BuildPackage(project, Stub());
  std::string bytes(built.setupFile.head.begin(), built.setupFile.head.end());
  std::string region(built.regionSize, '\0');
  std::rewind(built.region.get());
  ASSERT_EQ(std::fread(region.data(), 1, region.size(), built.region.get()), region.size());
  ASSERT_TRUE(built.volumes.empty());
  sim.AddFile(kPackage, bytes + region);
}

UnattendedResult InstallMachine::Run(std::vector<ScriptedAnswer> script, int component,
                                     Platform* platform) {
  Release();
  asked.clear();
  progress.clear();
  shown.clear();
  script_ = std::move(script);
  answers = std::make_unique<AnsweringPlatform>(platform != nullptr ? *platform : sim,
                                                script_.data(),
                                                static_cast<uint32_t>(script_.size()), this);
  context = std::make_unique<SetupContext>(*answers);
  answers->Follow(context->run);
  CopyText(context->packagePath, kPathSize, kPackage);
  context->stubSize = static_cast<uint32_t>(Stub().size());
  context->run.windowsNt = sim.windowsNt;
  context->progress = this;
  context->fileName = this;
  EXPECT_EQ(LoadPackage(*context), 1);
  SelectComponent(context->package, context->current, component);
  CopyText(context->current.destinationFolder, kPathSize, kDestination);
  if (beforeRun) beforeRun(*context);
  return RunUnattendedInstall(*context, *answers);
}

std::vector<Question> InstallMachine::Questions() const {
  std::vector<Question> kinds;
  for (const AskedRecord& record : asked) kinds.push_back(record.question);
  return kinds;
}

void InstallMachine::Asked(Question question, const char* text, uint32_t type, int answer,
                           bool answered) {
  asked.push_back({question, text, type, answer, answered});
  if (onQuestion) onQuestion(asked.back());
}

}  // namespace setup::test
