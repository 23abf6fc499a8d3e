// The bytes of a dialog template and of the REC_DIALOGS block.
#include <cctype>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "tools/mkpkg/dialog_styles.h"
#include "tools/mkpkg/dialog_templates.h"

namespace setup::tools {
namespace {

using styles::DS_SETFONT;

// Little-endian output with alignment measured from the buffer's start, which
// is the template's first byte.
class TemplateWriter {
 public:
  void U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void Text(const std::string& text, const char* what) {
    if (text.find('\0') != std::string::npos) {
      throw std::runtime_error(std::string("dialog template: the ") + what +
                               " contains a NUL character");
    }
    for (char16_t c : Windows1252ToUtf16(text)) U16(c);
    U16(0);
  }
  void AlignToDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The predefined class ordinal for a class name, or 0 for a named class.
uint16_t ClassOrdinal(const std::string& windowClass) {
  static constexpr std::string_view kClasses[] = {"button",    "edit",    "static",
                                                  "listbox",   "scrollbar", "combobox"};
  std::string lower = Lower(windowClass);
  for (size_t i = 0; i < std::size(kClasses); ++i) {
    if (lower == kClasses[i]) return static_cast<uint16_t>(0x0080 + i);
  }
  return 0;
}

}  // namespace

std::vector<uint8_t> EncodeDialogTemplate(const DialogTemplate& dialog) {
  if (dialog.items.size() > 0xFFFF) {
    throw std::runtime_error("dialog template: more than 65535 items");
  }
  TemplateWriter w;
  w.U32(dialog.style);
  w.U32(dialog.exStyle);
  w.U16(static_cast<uint16_t>(dialog.items.size()));
  w.I16(dialog.x);
  w.I16(dialog.y);
  w.I16(dialog.cx);
  w.I16(dialog.cy);
  w.U16(0);  // no menu
  w.U16(0);  // the system's dialog class
  w.Text(dialog.title, "title");
  if (dialog.style & DS_SETFONT) {
    w.U16(dialog.pointSize);
    w.Text(dialog.font, "font name");
  }
  for (const DialogItem& item : dialog.items) {
    w.AlignToDword();
    w.U32(item.style);
    w.U32(item.exStyle);
    w.I16(item.x);
    w.I16(item.y);
    w.I16(item.cx);
    w.I16(item.cy);
    w.U16(item.id);
    if (uint16_t ordinal = ClassOrdinal(item.windowClass)) {
      w.U16(0xFFFF);
      w.U16(ordinal);
    } else {
      if (item.windowClass.empty()) {
        throw std::runtime_error("dialog template: item " + std::to_string(item.id) +
                                 " has no window class");
      }
      w.Text(item.windowClass, "window class");
    }
    w.Text(item.text, "item text");
    w.U16(0);  // no creation data
  }
  return w.Take();
}

std::vector<uint8_t> BuildDialogBlock(const std::vector<std::vector<uint8_t>>& templates) {
  std::vector<size_t> offsets;
  size_t position = templates.size() * 4;
  for (size_t i = 0; i < templates.size(); ++i) {
    if (templates[i].empty()) {
      throw std::runtime_error("dialog block: template " + std::to_string(i) + " is empty");
    }
    offsets.push_back(position);
    position += templates[i].size() + (templates[i].size() & 1);  // keep 2-byte alignment
  }
  const size_t total = position;
  for (size_t i = 0; i < templates.size(); ++i) {
    size_t remainder = total - offsets[i];
    if (remainder > kDialogCopySize) {
      throw std::runtime_error(
          "dialog block: template " + std::to_string(i) + " and the templates after it take " +
          std::to_string(remainder) + " bytes; the setup copies at most " +
          std::to_string(kDialogCopySize) + " bytes from a template's start");
    }
  }
  std::vector<uint8_t> block;
  block.reserve(total);
  for (size_t offset : offsets) {
    for (int shift = 0; shift < 32; shift += 8) {
      block.push_back(static_cast<uint8_t>(offset >> shift));
    }
  }
  for (const std::vector<uint8_t>& t : templates) {
    block.insert(block.end(), t.begin(), t.end());
    if (t.size() & 1) block.push_back(0);
  }
  return block;
}

}  // namespace setup::tools
