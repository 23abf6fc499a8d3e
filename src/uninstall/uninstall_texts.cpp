#include "uninstall/uninstall_texts.h"

#include "package/strings.h"

namespace setup {

const char* const kUninstallDefaultTexts[UNTEXT_COUNT] = {
    "Uninstall",
    "Do you want to remove %s and all of its files from your computer?",
    "Removing files...",
    "%s was removed from your computer.",
    "These items were left:",
    "Windows must be restarted to complete the removal.",
    "The shared file\n%s\nis no longer used by the programs that counted it. Other programs "
    "may still need it.\n\nDo you want to remove it?",
    "The uninstall information is damaged or missing. Nothing was removed.",
    "removed when Windows restarts",
    "shared file kept",
    "still used by other programs",
    "holds files the setup did not install",
    "could not be removed",
    "the program",
};

const char* UninstallString(const StringGroup& group, UninstallText index) {
  const char* text = group.data != nullptr ? StringInGroup(group, index) : "";
  return text[0] != '\0' ? text : kUninstallDefaultTexts[index];
}

}  // namespace setup
