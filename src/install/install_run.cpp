#include "install/install_run.h"

#include "base/run_log.h"
#include "install/earlier_installations.h"
#include "install/entry_changes.h"
#include "install/install_report.h"
#include "install/shortcuts.h"
#include "install/uninstall_log.h"
#include "paths/path_helpers.h"

namespace setup {

namespace {

// The destination folder (without its trailing backslash, a drive root
// keeping its own) where the component asks for it.
void RecordDestinationFolder(Platform& platform, const ComponentDescriptor& descriptor,
                             const char* folder, RunLog* log) {
  if ((descriptor.options & COMP_FOLDER_TO_REGISTRY) && descriptor.folderRegKey != nullptr) {
    RegKey key = 0;
    RegKey root = RegistryRoot(descriptor.folderRootKey);
    if (platform.RegCreateKeyA(root, descriptor.folderRegKey, &key) == 0) {
      if (platform.RegSetValueExA(key, descriptor.folderRegValue, kRegSz, folder,
                                  TextLength(folder) + 1) == 0) {
        ReportRegistryValue(log, root, descriptor.folderRegKey, descriptor.folderRegValue, folder);
      }
      platform.RegCloseKey(key);
    }
  }
  if ((descriptor.options & COMP_FOLDER_TO_INI) && descriptor.folderIniFile != nullptr &&
      descriptor.folderIniSection != nullptr && descriptor.folderIniKey != nullptr) {
    if (platform.WritePrivateProfileStringA(descriptor.folderIniSection, descriptor.folderIniKey,
                                            folder, descriptor.folderIniFile)) {
      ReportIniValue(log, descriptor.folderIniFile, descriptor.folderIniSection,
                     descriptor.folderIniKey, folder);
    }
    platform.WritePrivateProfileStringA(nullptr, nullptr, nullptr, descriptor.folderIniFile);
  }
}

}  // namespace

int BeginInstallRun(SetupContext& context) {
  RunState& run = context.run;
  RecordError(run.error, ERR_NONE, nullptr);
  run.aborted = false;
  run.installed = false;
  run.entryIndex = -1;
  run.currentEntry = context.current.firstEntry;
  run.temporaryPath[0] = '\0';
  run.uninstallerPath[0] = '\0';
  if (context.package.settings & SETUP_REMOVE_PREVIOUS) {
    RemovePreviousInstallations(context.platform, context.package, context.current.index);
  }
  // The reader starts over as a whole: volume 0, its length, its base, the path.
  if (BeginPackageData(context) != 0) return 0;
  run.inputOpen = true;
  return 1;
}

void AbandonInstallRun(SetupContext& context) {
  EndPackageData(context.reader);
  context.run.inputOpen = false;
}

void FinishInstallRun(SetupContext& context) {
  EndPackageData(context.reader);
  RunState& run = context.run;
  CurrentComponent& current = context.current;
  if (run.error.number == ERR_NONE && !run.aborted) {
    Platform& platform = context.platform;
    PathPlaces places{platform, current.destinationFolder, context.packagePath};
    EntryFiles files{current.firstEntry, current.fileCount};
    if (run.uninstallerPath[0] != '\0') {
      WriteUninstallLog(context);
      if (run.log != nullptr) run.log->Line("uninstaller", run.uninstallerPath, "log appended");
    } else {
      CreateMenuShortcuts(places, files, kInvalidFile);
    }
    ReportMenuShortcuts(places, files, run.log);
    StripBackslash(current.destinationFolder);
    if (current.descriptor != nullptr) {
      RecordDestinationFolder(platform, *current.descriptor, current.destinationFolder, run.log);
    }
    const ComponentSlot& slot = context.package.components[current.index];
    ApplyIniEntries(places, files, slot.iniEntries, run.log);
    ApplyRegistryEntries(places, slot.registryEntries, run.log);
    ApplyFilePatches(places, files, slot.filePatches, run.log);
    AppendBackslash(current.destinationFolder, kPathSize);
    run.installed = true;
  }
  run.inputOpen = false;
}

}  // namespace setup
