#include "tools/mkpkg/dialog_templates.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace setup::tools {
namespace {

// Window, dialog and control styles used by the default templates.
constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_DISABLED = 0x08000000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_BORDER = 0x00800000;
constexpr uint32_t WS_VSCROLL = 0x00200000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_GROUP = 0x00020000;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200;
constexpr uint32_t DS_3DLOOK = 0x0004;
constexpr uint32_t DS_SETFONT = 0x0040;
constexpr uint32_t DS_MODALFRAME = 0x0080;
constexpr uint32_t DS_CONTROL = 0x0400;
constexpr uint32_t BS_PUSHBUTTON = 0x0000;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x0001;
constexpr uint32_t BS_AUTOCHECKBOX = 0x0003;
constexpr uint32_t BS_AUTORADIOBUTTON = 0x0009;
constexpr uint32_t ES_MULTILINE = 0x0004;
constexpr uint32_t ES_AUTOVSCROLL = 0x0040;
constexpr uint32_t ES_AUTOHSCROLL = 0x0080;
constexpr uint32_t ES_READONLY = 0x0800;
constexpr uint32_t SS_LEFT = 0x0000;
constexpr uint32_t SS_CENTER = 0x0001;
constexpr uint32_t SS_RIGHT = 0x0002;
constexpr uint32_t SS_LEFTNOWORDWRAP = 0x000C;
constexpr uint32_t SS_NOPREFIX = 0x0080;
constexpr uint32_t LBS_NOTIFY = 0x0001;
constexpr uint32_t LBS_SORT = 0x0002;
constexpr uint32_t LBS_OWNERDRAWFIXED = 0x0010;
constexpr uint32_t LBS_HASSTRINGS = 0x0040;
constexpr uint32_t LBS_DISABLENOSCROLL = 0x1000;
constexpr uint32_t CBS_DROPDOWNLIST = 0x0003;
constexpr uint32_t CBS_OWNERDRAWFIXED = 0x0010;
constexpr uint32_t CBS_AUTOHSCROLL = 0x0040;
constexpr uint32_t CBS_SORT = 0x0100;
constexpr uint32_t CBS_HASSTRINGS = 0x0200;

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

DialogItem Item(const char* windowClass, uint16_t id, const char* text, uint32_t style, int x,
                int y, int cx, int cy, uint32_t exStyle = 0) {
  DialogItem item;
  item.windowClass = windowClass;
  item.id = id;
  item.text = text;
  item.style = WS_CHILD | style;
  item.exStyle = exStyle;
  item.x = static_cast<int16_t>(x);
  item.y = static_cast<int16_t>(y);
  item.cx = static_cast<int16_t>(cx);
  item.cy = static_cast<int16_t>(cy);
  return item;
}

// Wizard geometry in dialog units. The frame holds the picture on the left,
// the page area to its right, and the separator and buttons along the bottom.
constexpr int kMargin = 7;
constexpr int kFrameWidth = 350;
constexpr int kFrameHeight = 240;
constexpr int kPictureWidth = 104;
constexpr int kPageX = kMargin + kPictureWidth + kMargin;           // 118
constexpr int kPageWidth = kFrameWidth - kPageX - kMargin;          // 225
constexpr int kPageHeight = 196;
constexpr int kSeparatorY = kMargin + kPageHeight + kMargin;        // 210
constexpr int kButtonY = kSeparatorY + 2 + kMargin;                 // 219
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kCancelX = kFrameWidth - kMargin - kButtonWidth;      // 293
constexpr int kNextX = kCancelX - 12 - kButtonWidth;                // 231
constexpr int kBackX = kNextX - kButtonWidth;                       // 181

static_assert(kButtonY + kButtonHeight + kMargin == kFrameHeight);

// A page text: visible, word-wrapped, '&' shown as it stands.
DialogItem PageText(uint16_t id, int y, int cy, int x = 0, int cx = kPageWidth) {
  return Item("static", id, "", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, x, y, cx, cy);
}

DialogTemplate Frame(bool fullScreen) {
  DialogTemplate d;
  d.style = WS_CHILD | WS_VISIBLE | DS_SETFONT;
  if (fullScreen) d.style |= WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  d.cx = kFrameWidth;
  d.cy = kFrameHeight;
  d.title = fullScreen ? "Setup" : "";
  // The placeholders stay hidden: the frame paints the picture and the
  // separator itself, and places each page at the page area's corner.
  d.items = {
      Item("static", 1011, "", SS_LEFT, kMargin, kMargin, kPictureWidth, kPageHeight),
      Item("static", 1006, "", SS_LEFT, kPageX, kMargin, kPageWidth, kPageHeight),
      Item("static", 1012, "", SS_LEFT, kMargin, kSeparatorY, kFrameWidth - 2 * kMargin, 2),
      Item("button", 1007, "< Back", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, kBackX,
           kButtonY, kButtonWidth, kButtonHeight),
      Item("button", 1, "Next >", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kNextX, kButtonY,
           kButtonWidth, kButtonHeight),
      Item("button", 2, "Cancel", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kCancelX, kButtonY,
           kButtonWidth, kButtonHeight),
  };
  return d;
}

// A page: a control child of the frame, exactly the size of the page area.
DialogTemplate Page() {
  DialogTemplate d;
  d.style = WS_CHILD | WS_VISIBLE | DS_CONTROL | DS_SETFONT;
  d.cx = kPageWidth;
  d.cy = kPageHeight;
  return d;
}

DialogTemplate DestinationPage() {
  DialogTemplate d = Page();
  constexpr int kBrowseX = kPageWidth - kButtonWidth;
  constexpr int kLabelWidth = 80;
  constexpr int kValueWidth = 60;
  d.items = {
      PageText(1000, 0, 24),
      PageText(1001, 28, 32),
      Item("edit", 1004, "", WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, 0, 66,
           kBrowseX - 8, 14, WS_EX_CLIENTEDGE),
      Item("button", 1005, "B&rowse...", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kBrowseX, 66,
           kButtonWidth, 14),
      PageText(1002, 88, 24),
      PageText(1017, 120, 8, 0, kLabelWidth),
      Item("static", 1016, "", WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, kLabelWidth + 4, 120,
           kValueWidth, 8),
      PageText(1018, 132, 8, 0, kLabelWidth),
      Item("static", 1019, "", WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, kLabelWidth + 4, 132,
           kValueWidth, 8),
      PageText(1003, 148, 40),
  };
  return d;
}

DialogTemplate InformationPage() {
  DialogTemplate d = Page();
  d.items = {
      PageText(1001, 0, 16),
      Item("edit", 1000, "",
           WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0,
           20, kPageWidth, 136, WS_EX_CLIENTEDGE),
      PageText(1002, 162, 16),
      PageText(1003, 180, 16),
  };
  return d;
}

DialogTemplate ProgressPage() {
  DialogTemplate d = Page();
  d.items = {
      PageText(1001, 0, 32),
      PageText(1000, 40, 8),
      Item("static", 1008, "", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 50, kPageWidth,
           8),
      // The bar is painted over this hidden placeholder's rectangle.
      Item("static", 1009, "", SS_LEFT, 0, 64, kPageWidth, 12),
      Item("static", 1010, "", WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 80, kPageWidth, 8),
      PageText(1002, 100, 40),
      PageText(1003, 148, 40),
  };
  return d;
}

// Welcome and Ready to install; the ready page rewrites 1001 with the folder.
DialogTemplate TextPage() {
  DialogTemplate d = Page();
  d.items = {
      PageText(1000, 0, 24),
      PageText(1001, 32, 48),
      PageText(1002, 88, 48),
      PageText(1003, 144, 48),
  };
  return d;
}

// The open button and the run check box start hidden; the page shows them
// when the package has a document or a program. With an error, 1000 is
// stretched down over 1001 and 1002.
DialogTemplate FinishPage() {
  DialogTemplate d = Page();
  d.items = {
      PageText(1000, 0, 32),
      PageText(1001, 40, 24),
      Item("button", 1014, "", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, 68, 100, 14),
      PageText(1002, 90, 24),
      Item("button", 1015, "", WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, 0, 118, kPageWidth, 10),
      PageText(1003, 136, 48),
  };
  return d;
}

// An old-style save-file dialog template: the folder edit, the folder and
// drive lists and the two buttons are shown; the file controls the system's
// dialog insists on are present but hidden and disabled.
DialogTemplate FolderChooser() {
  DialogTemplate d;
  d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT;
  d.x = 36;
  d.y = 24;
  d.cx = 212;
  d.cy = 134;
  d.title = "Choose Folder";
  constexpr uint32_t kHidden = WS_DISABLED;
  d.items = {
      Item("static", 1009, "&Folder:", WS_VISIBLE | SS_LEFT, 6, 6, 140, 9),
      Item("edit", 101, "", WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 6, 16, 140,
           12),
      Item("listbox", 1121, "",
           WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_HASSTRINGS |
               LBS_NOTIFY | LBS_DISABLENOSCROLL | LBS_OWNERDRAWFIXED,
           6, 32, 140, 68),
      Item("static", 1091, "Dri&ves:", WS_VISIBLE | SS_LEFT, 6, 104, 140, 9),
      Item("combobox", 1137, "",
           WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | CBS_SORT | CBS_HASSTRINGS |
               CBS_OWNERDRAWFIXED | CBS_DROPDOWNLIST,
           6, 114, 140, 68),
      Item("button", 1, "OK", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 156, 6, 50,
           14),
      Item("button", 2, "Cancel", WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 156, 24,
           50, 14),
      Item("edit", 1152, "", kHidden | WS_BORDER | ES_AUTOHSCROLL, 156, 46, 50, 12),
      Item("listbox", 1120, "",
           kHidden | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_HASSTRINGS | LBS_NOTIFY |
               LBS_DISABLENOSCROLL | LBS_OWNERDRAWFIXED,
           156, 60, 50, 12),
      Item("static", 1089, "", kHidden | SS_LEFT, 156, 74, 50, 9),
      Item("combobox", 1136, "",
           kHidden | WS_BORDER | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL, 156, 84, 50,
           36),
      Item("static", 1088, "", kHidden | SS_LEFT | SS_NOPREFIX, 156, 98, 50, 9),
      Item("button", 1038, "&Help", kHidden | WS_GROUP | BS_PUSHBUTTON, 156, 108, 50, 12),
      Item("button", 1040, "&Read only", kHidden | WS_GROUP | BS_AUTOCHECKBOX, 156, 121, 50,
           10),
  };
  return d;
}

// One radio button per component slot, hidden and disabled until the page
// fills it; the first starts the group and the text below ends it.
DialogTemplate ComponentPage() {
  DialogTemplate d = Page();
  d.items = {
      PageText(1000, 0, 24),
      PageText(1001, 28, 16),
  };
  static constexpr const char* kLabels[6] = {"Choice 1", "Choice 2", "Choice 3",
                                             "Choice 4", "Choice 5", "Choice 6"};
  for (int i = 0; i < 6; ++i) {
    uint32_t style = WS_DISABLED | BS_AUTORADIOBUTTON;
    if (i == 0) style |= WS_GROUP | WS_TABSTOP;
    d.items.push_back(Item("button", static_cast<uint16_t>(1021 + i), kLabels[i], style, 8,
                           50 + 14 * i, kPageWidth - 8, 10));
  }
  DialogItem after = PageText(1002, 136, 24);
  after.style |= WS_GROUP;
  d.items.push_back(after);
  d.items.push_back(PageText(1003, 164, 24));
  return d;
}

// Number 9 has no page; it is a valid page with a single text.
DialogTemplate SparePage() {
  DialogTemplate d = Page();
  d.items = {PageText(1000, 0, kPageHeight)};
  return d;
}

struct RequiredControl {
  uint16_t id;
  const char* role;
};

const std::vector<RequiredControl>& Requirements(int number) {
  static const std::vector<RequiredControl> kFrame = {
      {1, "Next button"},
      {2, "Cancel button"},
      {1007, "Back button"},
      {1006, "page area placeholder"},
      {1011, "picture placeholder"},
      {1012, "separator placeholder"},
  };
  static const std::vector<RequiredControl> kDestination = {
      {1004, "folder edit"},          {1005, "Browse button"},
      {1016, "space needed"},         {1017, "space needed label"},
      {1018, "free space label"},     {1019, "free space"},
  };
  static const std::vector<RequiredControl> kInformation = {{1000, "information text"}};
  static const std::vector<RequiredControl> kProgress = {
      {1008, "file being installed"},
      {1009, "progress bar placeholder"},
      {1010, "percentage text"},
  };
  static const std::vector<RequiredControl> kWelcomeReady = {{1001, "destination folder line"}};
  static const std::vector<RequiredControl> kFinish = {
      {1000, "heading and error text"},
      {1001, "first text line"},
      {1002, "second text line"},
      {1003, "third text line"},
  };
  static const std::vector<RequiredControl> kChooser = {
      {101, "chosen folder edit"},     {1009, "folder label"},
      {1121, "folder list"},           {1137, "drive list"},
      {1091, "drive list label"},      {1, "OK button"},
      {2, "Cancel button"},            {1152, "file name edit"},
      {1120, "file list"},             {1136, "file type list"},
      {1089, "file type label"},       {1088, "current folder text"},
      {1038, "Help button"},           {1040, "Read only check box"},
  };
  static const std::vector<RequiredControl> kComponents = {
      {1021, "choice 1"}, {1022, "choice 2"}, {1023, "choice 3"},
      {1024, "choice 4"}, {1025, "choice 5"}, {1026, "choice 6"},
  };
  static const std::vector<RequiredControl> kNone;
  switch (number) {
    case kDialogFrameWindowed:
    case kDialogFrameFullScreen:
      return kFrame;
    case kDialogDestination:
      return kDestination;
    case kDialogInformation:
      return kInformation;
    case kDialogProgress:
      return kProgress;
    case kDialogWelcomeReady:
      return kWelcomeReady;
    case kDialogFinish:
      return kFinish;
    case kDialogFolderChooser:
      return kChooser;
    case kDialogComponents:
      return kComponents;
    case kDialogSpare:
      return kNone;
    default:
      throw std::out_of_range("dialog template number " + std::to_string(number) +
                              " is not 0 to 9");
  }
}

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

std::vector<DialogTemplate> DefaultDialogTemplates() {
  return {
      Frame(false),      Frame(true),    DestinationPage(), InformationPage(), ProgressPage(),
      TextPage(),        FinishPage(),   FolderChooser(),   ComponentPage(),   SparePage(),
  };
}

std::vector<uint16_t> RequiredControlIds(int number) {
  std::vector<uint16_t> ids;
  for (const RequiredControl& r : Requirements(number)) ids.push_back(r.id);
  return ids;
}

std::vector<std::string> MissingControls(int number, const DialogTemplate& dialog) {
  std::vector<std::string> missing;
  for (const RequiredControl& r : Requirements(number)) {
    bool present = std::any_of(dialog.items.begin(), dialog.items.end(),
                               [&](const DialogItem& item) { return item.id == r.id; });
    if (!present) {
      missing.push_back("control " + std::to_string(r.id) + " (" + r.role + ")");
    }
  }
  return missing;
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
