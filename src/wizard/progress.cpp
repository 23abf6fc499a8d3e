// The progress page, which installs one file per tick of timer 11 so that the
// wizard keeps painting and Cancel is heard between files, and the finish
// page, which tells the result, offers the document, the program and, when
// files wait for it, the restart of Windows.
#include <windows.h>

#include "install/document_entry.h"
#include "install/install_file.h"
#include "install/install_run.h"
#include "package/file_entry.h"
#include "package/strings.h"
#include "session/messages.h"
#include "wizard/page_figures.h"
#include "wizard/page_rules.h"
#include "wizard/progress_layout.h"
#include "wizard/page_sequence.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr UINT_PTR kStepTimer = 11;
constexpr int kBackButton = 1007;
constexpr int kOpenButton = 1014;
constexpr int kRunBox = 1015;

// The error of the run in a box of its own.
void ShowSetupError(Wizard& wizard) {
  TextBuffer text(wizard.context.platform, kMessageSize);
  if (text.get() == nullptr) return;
  FormatErrorText(wizard.context, text.get(), text.size(), wizard.context.run.error.number);
  ShowText(wizard, text.get(), MB_ICONINFORMATION);
}

// After the last file or an error: the finishing step, then the finish page.
// A single progress page stays, but its error is told once, since no finish
// page will.
void FinishRun(Wizard& wizard) {
  SetupContext& context = wizard.context;
  if (context.run.aborted) {
    // The package data could not be read after the user was told: the
    // setup ends at once.
    AbandonInstallRun(context);
    ForgetAfterInstallEntries(context.run);
    context.run.pageResult = PAGE_END;
    return;
  }
  FinishInstallRun(context);
  if (!wizard.SinglePage()) {
    GoToPage(wizard, PAGE_FINISH);
  } else if (context.run.error.number != ERR_NONE) {
    ShowSetupError(wizard);
  }
}

// Without a timer the whole run goes at once; the result is the same.
void InstallToEnd(Wizard& wizard) {
  while (InstallNextFile(wizard.context)) {
  }
  FinishRun(wizard);
}

void OnStepTimer(Wizard& wizard, HWND page) {
  SetupContext& context = wizard.context;
  if (!context.run.inputOpen || wizard.stepsPaused) return;
  // Stopped while the file is installed, so that its questions' nested
  // loops never start a second one.
  KillTimer(page, kStepTimer);
  wizard.stepTimerActive = false;
  if (!InstallNextFile(context)) {
    FinishRun(wizard);
    return;
  }
  if (SetTimer(page, kStepTimer, 50, nullptr) != 0) {
    wizard.stepTimerActive = true;
  } else {
    InstallToEnd(wizard);
  }
}

}  // namespace

void PageProgressBar::SetProgressPercent(int percent) {
  wizard_.progressPercent = ClampPercent(percent < 0 ? 0 : static_cast<uint32_t>(percent));
  if (wizard_.progressWindow != nullptr) DrawProgressBar(wizard_, wizard_.progressWindow, nullptr);
}

void PageFileName::ShowFileName(const char* text) {
  if (wizard_.progressWindow != nullptr) SetDlgItemTextA(wizard_.progressWindow, 1008, text);
}

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  SetupContext& context = wizard->context;
  switch (message) {
    case WM_INITDIALOG:
      wizard->progressWindow = page;
      context.progress = &wizard->progressBar;
      context.fileName = &wizard->fileName;
      InitSetupPage(*wizard, page, BTN_CANCEL);
      SetFrameButtonText(*wizard, 4, 5);
      if (!BeginInstallRun(context)) {
        // Only Cancel is left; a single page has no finish page to say why.
        if (wizard->SinglePage()) ShowSetupError(*wizard);
        return TRUE;
      }
      wizard->stepsPaused = false;
      wizard->stepTimerActive = SetTimer(page, kStepTimer, 100, nullptr) != 0;
      if (!wizard->stepTimerActive) InstallToEnd(*wizard);
      return TRUE;
    case WM_TIMER:
      OnStepTimer(*wizard, page);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL || wizard->SinglePage()) break;
      wizard->stepsPaused = true;
      if (AskSetupQuestion(context, QUESTION_LEAVE, GetPackageString(context.current, 6, 13),
                           MB_YESNO | MB_ICONQUESTION) == IDYES) {
        ShowString(*wizard, 15, MB_ICONINFORMATION);
        context.run.pageResult = PAGE_END;
        ForgetAfterInstallEntries(context.run);
      } else {
        wizard->stepsPaused = false;
      }
      return MarkCommandHandled(page);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(page, &paint);
      if (dc != nullptr) {
        DrawProgressBar(*wizard, page, dc);
        EndPaint(page, &paint);
      }
      return TRUE;
    }
    case WM_DESTROY:
      if (wizard->stepTimerActive) KillTimer(page, kStepTimer);
      wizard->stepTimerActive = false;
      wizard->progressWindow = nullptr;
      context.progress = nullptr;
      context.fileName = nullptr;
      break;
  }
  return PageColorDefault(wizard, message, wParam);
}

namespace {

// The control's own visibility: the page itself is not shown yet while it
// is initialised, so IsWindowVisible would always say no.
bool IsVisibleControl(HWND page, int id) {
  HWND control = GetDlgItem(page, id);
  return control != nullptr && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The error fills the rows of 1000 to 1002 as one text.
void ShowFinishError(Wizard& wizard, HWND page) {
  SetupContext& context = wizard.context;
  HWND heading = GetDlgItem(page, 1000);
  RECT top, bottom;
  if (heading != nullptr && GetDlgItem(page, 1002) != nullptr) {
    GetWindowRect(heading, &top);
    GetWindowRect(GetDlgItem(page, 1002), &bottom);
    SetWindowPos(heading, nullptr, 0, 0, top.right - top.left, bottom.bottom - top.top,
                 SWP_NOZORDER | SWP_NOMOVE);
  }
  ShowWindow(GetDlgItem(page, 1001), SW_HIDE);
  ShowWindow(GetDlgItem(page, 1002), SW_HIDE);
  // The template leaves its own format in 1003; the heading carries the
  // whole message, so nothing else may show.
  SetDlgItemTextA(page, 1003, "");
  TextBuffer errorText(context.platform, kMessageSize);
  TextBuffer text(context.platform, kMessageSize + 1025);
  if (errorText.get() != nullptr && text.get() != nullptr) {
    FormatErrorText(context, errorText.get(), errorText.size(), context.run.error.number);
    FillTextFormat(text.get(), text.size(), GetPackageString(context.current, 5, 4),
                   errorText.get());
    SetDlgItemTextA(page, 1000, text.get());
  }
  ForgetAfterInstallEntries(context.run);
}

void ShowFinishOffers(Wizard& wizard, HWND page) {
  SetupContext& context = wizard.context;
  const CurrentComponent& current = context.current;
  bool buttonShown = false;
  if (context.run.documentEntry != nullptr || wizard.SinglePage()) {
    const char* caption = GetPackageString(current, 5, 5);
    if (caption[0] != '\0') {
      SetDlgItemTextA(page, kOpenButton, caption);
      ShowWindow(GetDlgItem(page, kOpenButton), SW_SHOWNORMAL);
      buttonShown = true;
    } else {
      OpenDocumentEntry(context);
    }
  }
  bool movedUp = false;
  const bool openLineEmpty = GetPackageString(current, 5, 2)[0] == '\0';
  if (context.run.programEntry != nullptr || wizard.SinglePage()) {
    const char* caption = GetPackageString(current, 5, 6);
    HWND box = GetDlgItem(page, kRunBox);
    if (caption[0] != '\0' && box != nullptr) {
      SetWindowTextA(box, caption);
      ShowWindow(box, SW_SHOWNORMAL);
      RECT button, own;
      if (!buttonShown && openLineEmpty && ControlRect(page, kOpenButton, &button) &&
          ControlRect(page, kRunBox, &own)) {
        SetWindowPos(box, nullptr, own.left, button.top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        SetDlgItemTextA(page, 1001, GetPackageString(current, 5, 3));
        SetDlgItemTextA(page, 1002, "");
        movedUp = true;
      }
    }
  }
  SetDlgItemTextA(page, 1003, "");
  if (context.run.restartNeeded) {
    FinishLines lines{buttonShown, IsVisibleControl(page, kRunBox), movedUp, openLineEmpty,
                      GetPackageString(current, 5, 3)[0] == '\0'};
    SetDlgItemTextA(page, RestartNoticeControl(lines), GetPackageString(current, 5, 7));
  }
}

}  // namespace

INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  SetupContext& context = wizard->context;
  RunState& run = context.run;
  switch (message) {
    case WM_INITDIALOG: {
      if (run.error.number != ERR_NONE) run.restartNeeded = false;
      InitSetupPage(*wizard, page, FinishButtonFlags(run.restartNeeded));
      if (run.restartNeeded) SetFrameButtonText(*wizard, 1, 6);
      ShowWindow(GetDlgItem(page, kOpenButton), SW_HIDE);
      if (GetDlgItem(page, kRunBox) != nullptr) {
        CheckDlgButton(page, kRunBox, wizard->runAfterInstall ? BST_CHECKED : BST_UNCHECKED);
        ShowWindow(GetDlgItem(page, kRunBox), SW_HIDE);
      }
      if (run.error.number == ERR_NONE) {
        // A replacement left half done is a failure, whatever the run said.
        const uint8_t* entry = context.current.firstEntry;
        for (uint32_t i = 0; i < context.current.fileCount; ++i, entry = NextFileEntry(entry)) {
          if (EntryState(entry) == STATE_REPLACING) {
            SetSetupErrorNumber(context, ERR_REPLACE);
            break;
          }
        }
      }
      if (run.error.number != ERR_NONE) {
        ShowFinishError(*wizard, page);
      } else {
        ShowFinishOffers(*wizard, page);
      }
      SetFocus(GetDlgItem(wizard->frame, IDCANCEL));
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kOpenButton: OpenDocumentEntry(context); return MarkCommandHandled(page);
        case IDOK:
        case IDCANCEL: run.pageResult = PAGE_END; return MarkCommandHandled(page);
        case kBackButton: RestartWindows(run.windowsNt); return MarkCommandHandled(page);
        case kRunBox:
          wizard->runAfterInstall = IsDlgButtonChecked(page, kRunBox) == BST_CHECKED;
          return MarkCommandHandled(page);
      }
      break;
  }
  return PageColorDefault(wizard, message, wParam);
}

void RestartWindows(bool windowsNt) {
  if (windowsNt) {
    // Windows NT restarts only for a process that holds the shutdown privilege.
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      return;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
  }
  ExitWindowsEx(EWX_REBOOT, 0);
}

}  // namespace setup
