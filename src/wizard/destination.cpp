// The destination folder page: the folder, the space the component needs and
// the space free on its drive, typing or browsing for another folder, and on
// Next the folder made sure of (created on request) and the space checked.
//
// The folder is held without its backslash while the page edits it and gets
// it back when the page is left by Next.
#include <windows.h>

#include "install/disk_space.h"
#include "package/strings.h"
#include "paths/path_folders.h"
#include "paths/path_helpers.h"
#include "session/messages.h"
#include "wizard/page_figures.h"
#include "wizard/page_rules.h"
#include "wizard/page_sequence.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr int kBackButton = 1007;
constexpr int kFolderEdit = 1004;
constexpr int kBrowseButton = 1005;
constexpr int kNeededText = 1016;
constexpr int kFreeText = 1019;

void ShowMegabytes(Wizard& wizard, HWND page, int control, uint32_t megabytes) {
  char text[kPathSize];
  FillNumberFormat(text, sizeof text, GetPackageString(wizard.context.current, 2, 7),
                   static_cast<int32_t>(megabytes));
  SetDlgItemTextA(page, control, text);
}

void ShowFreeSpace(Wizard& wizard, HWND page) {
  // Each keystroke probes the drive: an empty floppy drive must not raise a
  // system box every time.
  UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  uint32_t free = DriveFreeKilobytes(wizard.context.platform,
                                     wizard.context.current.destinationFolder);
  SetErrorMode(mode);
  ShowMegabytes(wizard, page, kFreeText, FreeMegabytes(free));
}

void ReadFolderEdit(Wizard& wizard, HWND page) {
  GetDlgItemTextA(page, kFolderEdit, wizard.context.current.destinationFolder, kPathSize);
}

// Makes the typed folder absolute and its current directory, creating it
// when the user agrees. False keeps the page.
bool EnterFolder(Wizard& wizard) {
  SetupContext& context = wizard.context;
  char* folder = context.current.destinationFolder;
  StripBackslash(folder);
  if (!FolderFits(folder)) {
    ShowString(wizard, 5, MB_ICONINFORMATION);
    return false;
  }
  uint32_t length = GetFullPathNameA(folder, kPathSize, context.targetPath, nullptr);
  if (FullPathFits(length)) CopyText(folder, kPathSize, context.targetPath);
  if (!FolderFits(folder)) {
    ShowString(wizard, 5, MB_ICONINFORMATION);
    return false;
  }
  if (SetCurrentDirectoryA(folder)) return true;
  if (ShowString(wizard, 6, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  AppendBackslash(folder, kPathSize);
  MakePathFolders(context.platform, folder);
  StripBackslash(folder);
  if (SetCurrentDirectoryA(folder)) return true;
  ShowString(wizard, 5, MB_ICONINFORMATION);
  return false;
}

// The folder and space check of Next. True lets the frame go on to page 5.
bool CheckDestination(Wizard& wizard, HWND page) {
  SetupContext& context = wizard.context;
  CurrentComponent& current = context.current;
  ReadFolderEdit(wizard, page);
  if (!EnterFolder(wizard)) return false;
  AppendBackslash(current.destinationFolder, kPathSize);
  SetDlgItemTextA(page, 1001, GetPackageString(current, 6, 4));
  SetDlgItemTextA(page, 1002, "");
  SetDlgItemTextA(page, 1003, "");
  PathPlaces places{context.platform, current.destinationFolder, context.packagePath};
  CheckedFiles files{current.firstEntry, current.fileCount};
  wizard.readOnlyMet = false;
  int result = CheckDiskSpace(places, files, context.run.error, &wizard.readOnlyMet);
  if (result == DISK_CHECK_NO_ROOM) {
    if (AskSetupQuestion(context, QUESTION_DISK_SPACE, GetPackageString(current, 6, 11),
                         MB_YESNO | MB_ICONQUESTION) == IDYES) {
      result = DISK_CHECK_OK;
    }
  } else if (result != DISK_CHECK_OK) {
    TextBuffer errorText(context.platform, kMessageSize);
    TextBuffer message(context.platform, kMessageSize + 1025);
    if (errorText.get() != nullptr && message.get() != nullptr) {
      FormatErrorText(context, errorText.get(), errorText.size(), result);
      BuildCheckMessage(message.get(), message.size(), GetPackageString(current, 6, 8),
                        errorText.get());
      ShowText(wizard, message.get(), MB_ICONINFORMATION);
    }
  }
  if (result == DISK_CHECK_OK) return true;
  for (int i = 1; i <= 3; ++i) SetDlgItemTextA(page, 1000 + i, GetPackageString(current, 2, i + 1));
  return false;
}

}  // namespace

INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  SetupContext& context = wizard->context;
  CurrentComponent& current = context.current;
  switch (message) {
    case WM_INITDIALOG: {
      InitSetupPage(*wizard, page, BTN_BACK | BTN_NEXT | BTN_CANCEL);
      SendDlgItemMessageA(page, kFolderEdit, EM_LIMITTEXT, kPathSize - 1, 0);
      StripBackslash(current.destinationFolder);
      SetDlgItemTextA(page, kFolderEdit, current.destinationFolder);
      AppendBackslash(current.destinationFolder, kPathSize);
      SetDlgItemTextA(page, 1017, GetPackageString(current, 2, 5));
      SetDlgItemTextA(page, 1018, GetPackageString(current, 2, 6));
      ShowMegabytes(*wizard, page, kNeededText,
                    NeededMegabytes(current.firstEntry, current.fileCount));
      ShowFreeSpace(*wizard, page);
      uint16_t options = current.descriptor != nullptr ? current.descriptor->options : 0;
      if (options & COMP_FOLDER_EDITABLE) {
        SetFocus(GetDlgItem(page, kFolderEdit));
        return FALSE;
      }
      SendDlgItemMessageA(page, kFolderEdit, EM_SETREADONLY, TRUE, 0);
      EnableWindow(GetDlgItem(page, kBrowseButton), FALSE);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kBrowseButton:
          ReadFolderEdit(*wizard, page);
          BrowseForFolder(*wizard, page, current.destinationFolder);
          StripBackslash(current.destinationFolder);
          SetDlgItemTextA(page, kFolderEdit, current.destinationFolder);
          break;
        case kFolderEdit:
          ReadFolderEdit(*wizard, page);
          ShowFreeSpace(*wizard, page);
          break;
        case IDOK:
          // A single destination page ends with any button, unchecked.
          if (wizard->SinglePage() || CheckDestination(*wizard, page)) break;
          return MarkCommandHandled(page);
        case kBackButton:
          if (wizard->SinglePage()) break;
          GoToPage(*wizard, PageBefore(PAGE_DESTINATION,
                                       WizardShape{context.package.componentCount,
                                                   GetPackageString(current, 1, 1)[0] != '\0'}));
          return MarkCommandHandled(page);
      }
      break;
  }
  return PageColorDefault(wizard, message, wParam);
}

}  // namespace setup
