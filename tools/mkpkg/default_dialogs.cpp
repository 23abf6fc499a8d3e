// The default dialog templates, laid out as a classic wizard, and the
// controls and styles the setup relies on in any template of a number.
#include <algorithm>
#include <stdexcept>

#include "tools/mkpkg/dialog_styles.h"
#include "tools/mkpkg/dialog_templates.h"

namespace setup::tools {
namespace {

using namespace styles;

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

}  // namespace

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

std::vector<std::string> StyleProblems(int number, const DialogTemplate& dialog) {
  struct Need {
    uint32_t bits;
    const char* name;
  };
  // The setup never shows a frame or a page itself: they must be visible
  // children. A page is a control of the frame, so that one dialog manager
  // moves the focus across the frame's buttons and the page's controls.
  static const std::vector<Need> kFrame = {{WS_CHILD, "WS_CHILD"}, {WS_VISIBLE, "WS_VISIBLE"}};
  static const std::vector<Need> kFullScreenFrame = {{WS_CHILD, "WS_CHILD"},
                                                     {WS_VISIBLE, "WS_VISIBLE"},
                                                     {WS_CAPTION, "WS_CAPTION"},
                                                     {WS_SYSMENU, "WS_SYSMENU"}};
  static const std::vector<Need> kPage = {
      {WS_CHILD, "WS_CHILD"}, {WS_VISIBLE, "WS_VISIBLE"}, {DS_CONTROL, "DS_CONTROL"}};
  std::vector<std::string> problems;
  if (number == kDialogFolderChooser) {
    // The system's file dialog is a pop-up window made from this template.
    if (dialog.style & WS_CHILD) problems.push_back("the folder chooser must not be WS_CHILD");
    return problems;
  }
  Requirements(number);  // refuses numbers outside the set
  const std::vector<Need>& needs = number == kDialogFrameWindowed     ? kFrame
                                   : number == kDialogFrameFullScreen ? kFullScreenFrame
                                                                      : kPage;
  for (const Need& need : needs) {
    if ((dialog.style & need.bits) != need.bits) {
      problems.push_back(std::string("the template's style lacks ") + need.name);
    }
  }
  return problems;
}

}  // namespace setup::tools
