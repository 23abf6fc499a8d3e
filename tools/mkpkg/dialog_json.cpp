// A project's dialog template in JSON: geometry, styles by name or number,
// texts in UTF-8, and its items.
#include <algorithm>
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/mkpkg/dialog_templates.h"

namespace setup::tools {
namespace {

struct NamedStyle {
  std::string_view name;
  uint32_t value;
};

constexpr NamedStyle kStyleNames[] = {
    {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000},      {"WS_CHILD", 0x40000000},
    {"WS_MINIMIZE", 0x20000000},   {"WS_VISIBLE", 0x10000000},    {"WS_DISABLED", 0x08000000},
    {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000},
    {"WS_MAXIMIZE", 0x01000000},   {"WS_CAPTION", 0x00C00000},    {"WS_BORDER", 0x00800000},
    {"WS_DLGFRAME", 0x00400000},   {"WS_VSCROLL", 0x00200000},    {"WS_HSCROLL", 0x00100000},
    {"WS_SYSMENU", 0x00080000},    {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000},
    {"WS_TABSTOP", 0x00010000},    {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000},
    {"WS_OVERLAPPEDWINDOW", 0x00CF0000}, {"WS_POPUPWINDOW", 0x80880000},

    {"DS_ABSALIGN", 0x0001},   {"DS_SYSMODAL", 0x0002},     {"DS_3DLOOK", 0x0004},
    {"DS_FIXEDSYS", 0x0008},   {"DS_NOFAILCREATE", 0x0010}, {"DS_LOCALEDIT", 0x0020},
    {"DS_SETFONT", 0x0040},    {"DS_MODALFRAME", 0x0080},   {"DS_NOIDLEMSG", 0x0100},
    {"DS_SETFOREGROUND", 0x0200}, {"DS_CONTROL", 0x0400},   {"DS_CENTER", 0x0800},
    {"DS_CENTERMOUSE", 0x1000}, {"DS_CONTEXTHELP", 0x2000},

    {"BS_PUSHBUTTON", 0x0000}, {"BS_DEFPUSHBUTTON", 0x0001}, {"BS_CHECKBOX", 0x0002},
    {"BS_AUTOCHECKBOX", 0x0003}, {"BS_RADIOBUTTON", 0x0004}, {"BS_3STATE", 0x0005},
    {"BS_AUTO3STATE", 0x0006}, {"BS_GROUPBOX", 0x0007},     {"BS_USERBUTTON", 0x0008},
    {"BS_AUTORADIOBUTTON", 0x0009}, {"BS_OWNERDRAW", 0x000B}, {"BS_LEFTTEXT", 0x0020},
    {"BS_TEXT", 0x0000},       {"BS_ICON", 0x0040},         {"BS_BITMAP", 0x0080},
    {"BS_LEFT", 0x0100},       {"BS_RIGHT", 0x0200},        {"BS_CENTER", 0x0300},
    {"BS_TOP", 0x0400},        {"BS_BOTTOM", 0x0800},       {"BS_VCENTER", 0x0C00},
    {"BS_PUSHLIKE", 0x1000},   {"BS_MULTILINE", 0x2000},    {"BS_NOTIFY", 0x4000},
    {"BS_FLAT", 0x8000},

    {"ES_LEFT", 0x0000},       {"ES_CENTER", 0x0001},       {"ES_RIGHT", 0x0002},
    {"ES_MULTILINE", 0x0004},  {"ES_UPPERCASE", 0x0008},    {"ES_LOWERCASE", 0x0010},
    {"ES_PASSWORD", 0x0020},   {"ES_AUTOVSCROLL", 0x0040},  {"ES_AUTOHSCROLL", 0x0080},
    {"ES_NOHIDESEL", 0x0100},  {"ES_OEMCONVERT", 0x0400},   {"ES_READONLY", 0x0800},
    {"ES_WANTRETURN", 0x1000}, {"ES_NUMBER", 0x2000},

    {"SS_LEFT", 0x0000},       {"SS_CENTER", 0x0001},       {"SS_RIGHT", 0x0002},
    {"SS_ICON", 0x0003},       {"SS_BLACKRECT", 0x0004},    {"SS_GRAYRECT", 0x0005},
    {"SS_WHITERECT", 0x0006},  {"SS_BLACKFRAME", 0x0007},   {"SS_GRAYFRAME", 0x0008},
    {"SS_WHITEFRAME", 0x0009}, {"SS_SIMPLE", 0x000B},       {"SS_LEFTNOWORDWRAP", 0x000C},
    {"SS_OWNERDRAW", 0x000D},  {"SS_BITMAP", 0x000E},       {"SS_ETCHEDHORZ", 0x0010},
    {"SS_ETCHEDVERT", 0x0011}, {"SS_ETCHEDFRAME", 0x0012},  {"SS_NOPREFIX", 0x0080},
    {"SS_NOTIFY", 0x0100},     {"SS_CENTERIMAGE", 0x0200},  {"SS_SUNKEN", 0x1000},

    {"LBS_NOTIFY", 0x0001},    {"LBS_SORT", 0x0002},        {"LBS_NOREDRAW", 0x0004},
    {"LBS_MULTIPLESEL", 0x0008}, {"LBS_OWNERDRAWFIXED", 0x0010},
    {"LBS_OWNERDRAWVARIABLE", 0x0020}, {"LBS_HASSTRINGS", 0x0040},
    {"LBS_USETABSTOPS", 0x0080}, {"LBS_NOINTEGRALHEIGHT", 0x0100},
    {"LBS_MULTICOLUMN", 0x0200}, {"LBS_WANTKEYBOARDINPUT", 0x0400},
    {"LBS_EXTENDEDSEL", 0x0800}, {"LBS_DISABLENOSCROLL", 0x1000}, {"LBS_NODATA", 0x2000},
    {"LBS_NOSEL", 0x4000},     {"LBS_STANDARD", 0x00A00003},

    {"CBS_SIMPLE", 0x0001},    {"CBS_DROPDOWN", 0x0002},    {"CBS_DROPDOWNLIST", 0x0003},
    {"CBS_OWNERDRAWFIXED", 0x0010}, {"CBS_OWNERDRAWVARIABLE", 0x0020},
    {"CBS_AUTOHSCROLL", 0x0040}, {"CBS_OEMCONVERT", 0x0080}, {"CBS_SORT", 0x0100},
    {"CBS_HASSTRINGS", 0x0200}, {"CBS_NOINTEGRALHEIGHT", 0x0400},
    {"CBS_DISABLENOSCROLL", 0x0800}, {"CBS_UPPERCASE", 0x2000}, {"CBS_LOWERCASE", 0x4000},

    {"SBS_HORZ", 0x0000},      {"SBS_VERT", 0x0001},
};

constexpr NamedStyle kExStyleNames[] = {
    {"WS_EX_DLGMODALFRAME", 0x00000001}, {"WS_EX_NOPARENTNOTIFY", 0x00000004},
    {"WS_EX_TOPMOST", 0x00000008},       {"WS_EX_ACCEPTFILES", 0x00000010},
    {"WS_EX_TRANSPARENT", 0x00000020},   {"WS_EX_TOOLWINDOW", 0x00000080},
    {"WS_EX_WINDOWEDGE", 0x00000100},    {"WS_EX_CLIENTEDGE", 0x00000200},
    {"WS_EX_CONTEXTHELP", 0x00000400},   {"WS_EX_RIGHT", 0x00001000},
    {"WS_EX_RTLREADING", 0x00002000},    {"WS_EX_LEFTSCROLLBAR", 0x00004000},
    {"WS_EX_CONTROLPARENT", 0x00010000}, {"WS_EX_STATICEDGE", 0x00020000},
    {"WS_EX_APPWINDOW", 0x00040000},
};

// ---- JSON ----

[[noreturn]] void Fail(const std::string& field, const std::string& problem) {
  throw std::runtime_error("dialog template: field '" + field + "' " + problem);
}

void CheckFields(const nlohmann::json& object, const std::string& where,
                 std::initializer_list<std::string_view> known) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (std::find(known.begin(), known.end(), it.key()) == known.end()) {
      Fail(where.empty() ? it.key() : where + "." + it.key(), "is not a known field");
    }
  }
}

int64_t Integer(const nlohmann::json& value, const std::string& field, int64_t low,
                int64_t high) {
  int64_t n = 0;
  if (value.is_number_unsigned()) {
    uint64_t u = value.get<uint64_t>();
    n = u > static_cast<uint64_t>(high) ? high + 1 : static_cast<int64_t>(u);
  } else if (value.is_number_integer()) {
    n = value.get<int64_t>();
  } else {
    Fail(field, "must be an integer");
  }
  if (n < low || n > high) {
    Fail(field, "must be from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return n;
}

uint32_t Style(const nlohmann::json& value, const std::string& field, bool extended) {
  if (value.is_number()) {
    return static_cast<uint32_t>(Integer(value, field, 0, 0xFFFFFFFF));
  }
  if (!value.is_array()) Fail(field, "must be a number or an array of style names");
  uint32_t style = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const nlohmann::json& element = value[i];
    std::string elementField = field + "[" + std::to_string(i) + "]";
    if (element.is_number()) {
      style |= static_cast<uint32_t>(Integer(element, elementField, 0, 0xFFFFFFFF));
      continue;
    }
    if (!element.is_string()) Fail(elementField, "must be a style name or a number");
    const std::string& name = element.get_ref<const std::string&>();
    uint32_t bits = 0;
    if (!LookUpStyleName(name, extended, &bits)) {
      if (!extended && LookUpStyleName(name, true, &bits)) {
        Fail(elementField, "names the extended style " + name + ", which belongs in exStyle");
      }
      if (extended && LookUpStyleName(name, false, &bits)) {
        Fail(elementField, "names " + name + ", which is not an extended style");
      }
      Fail(elementField, "names the unknown style '" + name + "'");
    }
    style |= bits;
  }
  return style;
}

std::string Text(const nlohmann::json& value, const std::string& field) {
  if (!value.is_string()) Fail(field, "must be a string");
  std::string text;
  try {
    text = Utf8ToWindows1252(value.get_ref<const std::string&>());
  } catch (const std::runtime_error& e) {
    Fail(field, e.what());
  }
  if (text.find('\0') != std::string::npos) Fail(field, "contains a NUL character");
  return text;
}

template <typename T>
void ReadGeometry(const nlohmann::json& object, const std::string& prefix, T* target) {
  auto read = [&](const char* key, int16_t* out) {
    if (auto it = object.find(key); it != object.end()) {
      *out = static_cast<int16_t>(Integer(*it, prefix + key, -32768, 32767));
    }
  };
  read("x", &target->x);
  read("y", &target->y);
  read("cx", &target->cx);
  read("cy", &target->cy);
  if (auto it = object.find("style"); it != object.end()) {
    target->style = Style(*it, prefix + "style", false);
  }
  if (auto it = object.find("exStyle"); it != object.end()) {
    target->exStyle = Style(*it, prefix + "exStyle", true);
  }
}

DialogItem ItemFromJson(const nlohmann::json& object, const std::string& where) {
  if (!object.is_object()) Fail(where, "must be an object");
  CheckFields(object, where,
              {"style", "exStyle", "x", "y", "cx", "cy", "id", "windowClass", "text"});
  DialogItem item;
  std::string prefix = where + ".";
  ReadGeometry(object, prefix, &item);
  if (auto it = object.find("id"); it != object.end()) {
    int64_t id = Integer(*it, prefix + "id", -1, 0xFFFF);
    item.id = static_cast<uint16_t>(id < 0 ? 0xFFFF : id);
  }
  auto cls = object.find("windowClass");
  if (cls == object.end()) Fail(prefix + "windowClass", "is missing");
  item.windowClass = Text(*cls, prefix + "windowClass");
  if (item.windowClass.empty()) Fail(prefix + "windowClass", "is empty");
  if (auto it = object.find("text"); it != object.end()) item.text = Text(*it, prefix + "text");
  return item;
}

}  // namespace

bool LookUpStyleName(const std::string& name, bool extended, uint32_t* value) {
  if (extended) {
    for (const NamedStyle& s : kExStyleNames) {
      if (s.name == name) return *value = s.value, true;
    }
    return false;
  }
  for (const NamedStyle& s : kStyleNames) {
    if (s.name == name) return *value = s.value, true;
  }
  return false;
}

DialogTemplate DialogTemplateFromJson(const nlohmann::json& json) {
  if (!json.is_object()) {
    throw std::runtime_error("dialog template: the template must be a JSON object");
  }
  CheckFields(json, "",
              {"style", "exStyle", "x", "y", "cx", "cy", "title", "pointSize", "font", "items"});
  DialogTemplate dialog;
  ReadGeometry(json, "", &dialog);
  if (auto it = json.find("title"); it != json.end()) dialog.title = Text(*it, "title");
  if (auto it = json.find("pointSize"); it != json.end()) {
    dialog.pointSize = static_cast<uint16_t>(Integer(*it, "pointSize", 1, 0xFFFF));
  }
  if (auto it = json.find("font"); it != json.end()) {
    dialog.font = Text(*it, "font");
    if (dialog.font.empty()) Fail("font", "is empty");
  }
  if (auto it = json.find("items"); it != json.end()) {
    if (!it->is_array()) Fail("items", "must be an array");
    if (it->size() > 0xFFFF) Fail("items", "holds more than 65535 items");
    for (size_t i = 0; i < it->size(); ++i) {
      dialog.items.push_back(ItemFromJson((*it)[i], "items[" + std::to_string(i) + "]"));
    }
  }
  return dialog;
}

}  // namespace setup::tools
