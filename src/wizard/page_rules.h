// The small decisions of the wizard's pages that need no window: which frame
// buttons a page enables, the background caption, which component the choice
// page's radio buttons name, what a typed folder must be before it is used,
// package texts filled in only when they are the format they should be, and
// whether the after-install entries survive the end of the wizard.
#pragma once

#include <cstdint>

namespace setup {

// Frame button flags.
constexpr uint32_t BTN_BACK = 0x001;
constexpr uint32_t BTN_NEXT = 0x002;
constexpr uint32_t BTN_CANCEL = 0x004;
constexpr uint32_t BTN_QUIET_CANCEL = 0x100;

// A page's flags as the frame gets them: in single-page mode (a start page
// other than 0xFFFF) Cancel never asks.
uint32_t PageButtonFlags(uint32_t flags, uint16_t startPage);

// The windowed background caption: setup title, " - ", page title; just the
// setup title when the page has none. Cut to `size`.
void BuildPageCaption(char* out, uint32_t size, const char* setupTitle, const char* pageTitle);

// The component whose radio button is checked first, or `current` when none
// of the `count` buttons is.
int ChosenComponent(const bool* checked, int count, int current);

// Whether a folder typed or chosen can take its backslash within 260 bytes;
// a longer one is refused as a folder that cannot be made.
bool FolderFits(const char* folder);

// GetFullPathNameA's result, usable only when the full path fitted.
inline bool FullPathFits(uint32_t result) { return result > 0 && result < 260; }

// `format` with `text` in place of its "%s" when it is exactly that format;
// any other text is shown as it stands.
void FillTextFormat(char* out, uint32_t size, const char* format, const char* text);

// `format` with `number` in place of its one number conversion (%d, %i or %u,
// with the flags, width and precision wsprintf reads) when it has exactly
// that one; any other text is shown as it stands.
void FillNumberFormat(char* out, uint32_t size, const char* format, int32_t number);

// The error line of the destination page: message (6,8), a blank line, then
// the error's own text; cut to `size`.
void BuildCheckMessage(char* out, uint32_t size, const char* heading, const char* errorText);

// Whether the document, program and screen saver noted during the run are
// still to be used when the wizard has ended: not after a run that was left
// open (closed in the middle) or stopped by an error.
bool KeepAfterInstallEntries(bool runStillOpen, int setupError);

}  // namespace setup
