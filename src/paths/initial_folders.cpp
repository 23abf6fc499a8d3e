#include "paths/initial_folders.h"

#include "paths/path_folders.h"
#include "paths/path_helpers.h"
#include "paths/path_variables.h"

namespace setup {

namespace {

RegKey RootKey(uint32_t folderRootKey) {
  switch (folderRootKey) {
    case 0: return kHkeyClassesRoot;
    case 2: return kHkeyLocalMachine;
    case 3: return kHkeyUsers;
    default: return kHkeyCurrentUser;
  }
}

bool Present(const char* text) { return text != nullptr; }

// The registry's folder into `found` (zero-filled, read with one byte to
// spare so that a value that fills it stays terminated).
bool ReadRegistryFolder(Platform& platform, const ComponentDescriptor& d, char* found) {
  for (uint32_t i = 0; i < kPathSize; ++i) found[i] = '\0';
  RegKey key = 0;
  if (platform.RegOpenKeyExA(RootKey(d.folderRootKey), d.folderRegKey, kKeyRead, &key) != 0) {
    return false;
  }
  uint32_t size = kPathSize - 1;
  if (platform.RegQueryValueExA(key, d.folderRegValue, nullptr, found, &size) != 0) {
    found[0] = '\0';
  }
  platform.RegCloseKey(key);
  return found[0] != '\0';
}

}  // namespace

void FindInitialFolder(Platform& platform, const char* packagePath,
                       const ComponentDescriptor& d, char* destinationFolder) {
  if (Present(d.defaultFolder)) CopyText(destinationFolder, kPathSize, d.defaultFolder);
  char found[kPathSize];
  bool isFound = false;
  if (Present(d.folderRegKey)) isFound = ReadRegistryFolder(platform, d, found);
  if (!isFound && Present(d.folderIniFile) && Present(d.folderIniSection) &&
             Present(d.folderIniKey)) {
    // An empty default: only a key that is there counts as found.
    isFound = platform.GetPrivateProfileStringA(d.folderIniSection, d.folderIniKey, "", found,
                                                kPathSize, d.folderIniFile) != 0;
  }
  if (isFound) {
    CopyText(destinationFolder, kPathSize, found);
    uint32_t n = TextLength(destinationFolder);
    while (n != 0 && !FolderExists(platform, destinationFolder)) destinationFolder[--n] = '\0';
    if (n != 0) CanonicalizePath(platform, destinationFolder, kPathSize);
    return;
  }
  PathPlaces places{platform, destinationFolder, packagePath};
  ExpandPathVariables(places, destinationFolder, destinationFolder, kPathSize);
}

void FindInitialFolders(Platform& platform, const char* packagePath, PackageState& package,
                        int currentIndex, char* destinationFolder) {
  destinationFolder[0] = '\0';
  for (int k = 0; k < package.componentCount; ++k) {
    ComponentSlot& slot = package.components[k];
    if (slot.hasDescriptor) {
      FindInitialFolder(platform, packagePath, slot.descriptor, destinationFolder);
    }
    if (slot.savedFolder != nullptr) CopyText(slot.savedFolder, kPathSize, destinationFolder);
  }
  if (currentIndex >= 0 && currentIndex < package.componentCount &&
      package.components[currentIndex].savedFolder != nullptr) {
    CopyText(destinationFolder, kPathSize, package.components[currentIndex].savedFolder);
  }
}

}  // namespace setup
