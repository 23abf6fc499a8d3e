// The dialog templates of a package: the REC_DIALOGS block, its default set
// of ten templates, and the JSON form a project uses to replace one of them.
//
// Each template is a classic in-memory DLGTEMPLATE (not the extended form)
// with its DLGITEMTEMPLATE items. The block opens with a table of u32 offsets
// counted from the block start, one per template number; the templates follow
// the table back to back at 2-byte alignment. The setup copies a template from
// its offset to the end of the block into a 16 KiB buffer, so items are
// DWORD-aligned relative to the template's first byte, and a template together
// with everything after it must fit in 16384 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "tools/common/windows1252.h"

namespace setup::tools {

// Template numbers in the block.
enum DialogNumber : int {
  kDialogFrameWindowed = 0,
  kDialogFrameFullScreen = 1,
  kDialogDestination = 2,
  kDialogInformation = 3,
  kDialogProgress = 4,
  kDialogWelcomeReady = 5,
  kDialogFinish = 6,
  kDialogFolderChooser = 7,
  kDialogComponents = 8,
  kDialogSpare = 9,
  kDialogCount = 10,
};

// Largest size of a template plus everything behind it in the block.
inline constexpr size_t kDialogCopySize = 16384;

struct DialogItem {
  uint32_t style = 0, exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint16_t id = 0;
  // "button", "edit", "static", "listbox", "scrollbar" and "combobox" (any
  // letter case) are written as the ordinals 0x0080-0x0085; any other class
  // name is written as a string.
  std::string windowClass;
  std::string text;  // 8-bit ANSI (Windows-1252)
};

struct DialogTemplate {
  uint32_t style = 0, exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::string title;  // 8-bit ANSI (Windows-1252)
  uint16_t pointSize = 8;
  std::string font = "MS Sans Serif";  // written only when style has DS_SETFONT
  std::vector<DialogItem> items;
};

// The exact bytes of the template: header, no menu, default class, title,
// font block when DS_SETFONT is set, then the items, each DWORD-aligned from
// the template's first byte, with texts in UTF-16LE and no creation data. No
// padding follows the last item. Throws std::runtime_error for a text with an
// embedded NUL or more than 65535 items.
std::vector<uint8_t> EncodeDialogTemplate(const DialogTemplate& dialog);

// The REC_DIALOGS payload: the offset table, then the templates in order.
// Throws std::runtime_error when a template is empty or when a template plus
// everything after it exceeds kDialogCopySize bytes.
std::vector<uint8_t> BuildDialogBlock(const std::vector<std::vector<uint8_t>>& templates);

// The default templates, numbers 0 to 9.
std::vector<DialogTemplate> DefaultDialogTemplates();

// The control ids the setup relies on in template `number` (0 to 9).
// Throws std::out_of_range for any other number.
std::vector<uint16_t> RequiredControlIds(int number);

// One line per required control that `dialog` lacks, e.g.
// "control 1006 (page area placeholder)"; empty when nothing is missing.
std::vector<std::string> MissingControls(int number, const DialogTemplate& dialog);

// One line per style the setup relies on in template `number` that `dialog`
// lacks (frames and pages are visible children, pages controls of the frame;
// the folder chooser is no child); empty when nothing is wrong. Throws
// std::out_of_range for a number outside 0 to 9.
std::vector<std::string> StyleProblems(int number, const DialogTemplate& dialog);

// A template from its JSON form:
//   { "style": ["WS_CHILD", "DS_CONTROL", ...] or a number,
//     "exStyle": [...] or a number,
//     "x", "y", "cx", "cy": numbers, "title": "...", "pointSize": 8, "font": "...",
//     "items": [ { "style", "exStyle", "x", "y", "cx", "cy", "id",
//                  "windowClass", "text" }, ... ] }
// Absent fields keep their defaults; "id" may be -1 for 0xFFFF. Strings are
// UTF-8 and are converted to Windows-1252. Throws std::runtime_error naming
// the field on any bad input, including unknown fields and style names.
DialogTemplate DialogTemplateFromJson(const nlohmann::json& json);

// The value of a style name such as "WS_CHILD" or "BS_AUTORADIOBUTTON"
// (window, dialog and control styles) or, when `extended`, "WS_EX_...".
// Returns false for an unknown name.
bool LookUpStyleName(const std::string& name, bool extended, uint32_t* value);



}  // namespace setup::tools
