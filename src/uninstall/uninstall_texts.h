// The uninstaller's texts. They travel in the uninstaller's own record
// stream (one string group, record UNINSTALL_TEXTS, written by mkpkg from
// the defaults below and the project's replacements), so that a vendor can
// word or translate them; a text the stream lacks, or gives empty, is the
// English default.
#pragma once

#include <cstdint>

#include "package/package_state.h"

namespace setup {

// Record type of the texts in the uninstaller's stream: a string group
// (u16 n, then n NUL-terminated texts), stored uncompressed.
constexpr uint16_t UNINSTALL_TEXTS = 0x1250;

enum UninstallText : unsigned {
  UNTEXT_CAPTION = 0,      // caption of every box and of the progress window
  UNTEXT_CONFIRM,          // %s: the product's name
  UNTEXT_REMOVING,         // progress window's first line
  UNTEXT_DONE,             // %s: the product's name
  UNTEXT_LEFT,             // heading of the list of what was left
  UNTEXT_RESTART,          // a restart completes the removal
  UNTEXT_SHARED,           // %s: the shared file no program counts any more
  UNTEXT_DAMAGED,          // the log is damaged or missing; nothing was removed
  UNTEXT_AT_RESTART,       // reasons in the list: removed when Windows restarts,
  UNTEXT_SHARED_KEPT,      //   a shared file kept,
  UNTEXT_STILL_USED,       //   a shared file other programs still use,
  UNTEXT_NOT_EMPTY,        //   a folder that holds files the setup did not install,
  UNTEXT_FAILED,           //   could not be removed
  UNTEXT_PRODUCT,          // the product's name when the log names no registration
  UNTEXT_COUNT
};

extern const char* const kUninstallDefaultTexts[UNTEXT_COUNT];

// The text `index` of `group` (data null: none), or its default.
const char* UninstallString(const StringGroup& group, UninstallText index);

}  // namespace setup
