// The frame dialog and the page loop: one modeless frame over the background
// window, and inside it one modeless page at a time, each run by its own
// message loop until a button sets the page result. Templates come from the
// package and are checked whole before USER32 reads them.
#include <windows.h>

#include "base/memory.h"
#include "install/install_run.h"
#include "package/strings.h"
#include "session/messages.h"
#include "wizard/dialog_template.h"
#include "wizard/page_rules.h"
#include "wizard/page_sequence.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr int kBackButton = 1007;
constexpr int kPagePlaceholder = 1006;
constexpr int kPictureControl = 1011;
constexpr int kSeparatorControl = 1012;

TemplateSpan TemplateOf(const SetupContext& context, uint32_t number) {
  const Payload& dialogs = context.package.dialogs;
  TemplateSpan span = FindDialogTemplate(dialogs.data, dialogs.size, number);
  if (!DialogTemplateFits(span.start, span.size)) return {nullptr, 0};
  return span;
}

const DLGPROC kPageProcedures[kPageSlots] = {
    WelcomePageProc, InformationPageProc, ComponentPageProc, nullptr, DestinationPageProc,
    ReadyPageProc,   ProgressPageProc,    FinishPageProc,    nullptr,
};

}  // namespace

TextBuffer::TextBuffer(Platform& platform, uint32_t size) : platform_(platform), size_(size) {
  AllocZeroedBlock(platform, size, &text_);
}

TextBuffer::~TextBuffer() { FreeBlock(platform_, &text_); }

Wizard* WizardForMessage(HWND dialog, UINT message, LPARAM parameter) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, parameter);
    return reinterpret_cast<Wizard*>(parameter);
  }
  return reinterpret_cast<Wizard*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

bool Wizard::FullScreen() const { return (context.package.settings & SETUP_FULL_SCREEN) != 0; }

void* CopyDialogTemplate(const SetupContext& context, uint32_t number) {
  TemplateSpan span = TemplateOf(context, number);
  if (span.start == nullptr) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kTemplateCopySize);
  if (block == nullptr) return nullptr;
  void* copy = GlobalLock(block);
  if (copy == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  CopyMemory(copy, span.start, span.size);
  return copy;
}

void FreeDialogTemplate(void* copy) {
  if (copy == nullptr) return;
  HGLOBAL block = GlobalHandle(copy);
  GlobalUnlock(block);
  GlobalFree(block);
}

int ShowText(Wizard& wizard, const char* text, UINT type) {
  return ShowSetupMessage(wizard.context, text, type);
}

int ShowString(Wizard& wizard, unsigned index, UINT type) {
  return ShowText(wizard, GetPackageString(wizard.context.current, 6, index), type);
}

void ForgetAfterInstallEntries(RunState& run) {
  run.documentEntry = nullptr;
  run.programEntry = nullptr;
  run.screenSaverEntry = nullptr;
}

int RunSetupPage(Wizard& wizard, uint32_t templateNumber, DLGPROC procedure) {
  RunState& run = wizard.context.run;
  run.pageResult = 0;
  if (templateNumber == kNoTemplate) return PAGE_END;
  // A template that would not survive USER32's reading is a page that cannot
  // be created: the wizard ends.
  if (TemplateOf(wizard.context, templateNumber).start == nullptr) return PAGE_END;
  void* copy = CopyDialogTemplate(wizard.context, templateNumber);
  if (copy == nullptr) {
    // Passed over as if Next had been pressed; the progress page would hand
    // on to a finish page that reports success without having installed.
    if (wizard.pageIndex == PAGE_PROGRESS) SetSetupErrorNumber(wizard.context, ERR_OUT_OF_MEMORY);
    return PAGE_NEXT;
  }
  HWND page = CreateDialogIndirectParamA(wizard.instance, static_cast<LPCDLGTEMPLATEA>(copy),
                                         wizard.frame, procedure,
                                         reinterpret_cast<LPARAM>(&wizard));
  if (page == nullptr) {
    FreeDialogTemplate(copy);
    return PAGE_END;
  }
  MSG message;
  while (run.pageResult == 0) {
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
      run.pageResult = PAGE_END;
      break;
    }
    if (IsDialogMessageA(wizard.frame, &message) || IsDialogMessageA(page, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  DestroyWindow(page);
  FreeDialogTemplate(copy);
  return run.pageResult;
}

void GoToPage(Wizard& wizard, int32_t index) {
  wizard.pageIndex = index - 1;
  wizard.context.run.pageResult = PAGE_NEXT;
}

BOOL MarkCommandHandled(HWND page) {
  SetWindowLongPtrA(page, DWLP_MSGRESULT, 1);
  return TRUE;
}

INT_PTR PageColorDefault(const Wizard* wizard, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      if (wizard == nullptr) return FALSE;
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(wizard->faceBrush);
    default:
      return FALSE;
  }
}

void CreateFaceBrush(Wizard& wizard) {
  wizard.faceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  if (wizard.faceBrush == nullptr) {
    wizard.faceBrush = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  }
}

void DeleteWizardGdi(Wizard& wizard) {
  if (wizard.faceBrush != nullptr && wizard.faceBrush != GetStockObject(LTGRAY_BRUSH)) {
    DeleteObject(wizard.faceBrush);
  }
  wizard.faceBrush = nullptr;
  if (wizard.pageFont != nullptr) DeleteObject(wizard.pageFont);
  wizard.pageFont = nullptr;
}

void ApplyPageFont(Wizard& wizard, HWND window) {
  if (wizard.pageFont == nullptr) {
    // The frame comes first: its template's font at normal weight serves
    // every page, so that the package's bold frame font does not spread.
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    LOGFONTA description;
    if (font != nullptr && GetObjectA(font, sizeof description, &description) == sizeof description) {
      description.lfWeight = FW_NORMAL;
      wizard.pageFont = CreateFontIndirectA(&description);
    }
  }
  if (wizard.pageFont == nullptr) return;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(wizard.pageFont), 0);
  }
}

void SetFrameButtons(Wizard& wizard, uint32_t flags) {
  wizard.buttonFlags = flags;
  EnableWindow(GetDlgItem(wizard.frame, kBackButton), (flags & BTN_BACK) != 0);
  EnableWindow(GetDlgItem(wizard.frame, IDOK), (flags & BTN_NEXT) != 0);
  EnableWindow(GetDlgItem(wizard.frame, IDCANCEL), (flags & BTN_CANCEL) != 0);
}

void SetFrameButtonText(Wizard& wizard, int kind, unsigned index) {
  int control = kind == 1 ? kBackButton : kind == 2 ? IDOK : kind == 4 ? IDCANCEL : 0;
  if (control == 0) return;
  SetDlgItemTextA(wizard.frame, control, GetPackageString(wizard.context.current, 7, index));
}

bool ControlRect(HWND window, int control, RECT* rect) {
  HWND item = GetDlgItem(window, control);
  if (item == nullptr) return false;
  GetWindowRect(item, rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(rect), 2);
  return true;
}

void InitSetupPage(Wizard& wizard, HWND page, uint32_t flags) {
  const CurrentComponent& current = wizard.context.current;
  wizard.pageWindow = page;
  ApplyPageFont(wizard, page);
  RECT area;
  if (ControlRect(wizard.frame, kPagePlaceholder, &area)) {
    SetWindowPos(page, nullptr, area.left, area.top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  }
  unsigned group = PageTextGroup(wizard.pageIndex);
  const char* title = GetPackageString(current, group, 0);
  const char* setupTitle = GetPackageString(current, 6, 0);
  SetWindowTextA(wizard.background, setupTitle);
  if (title[0] != '\0') {
    if (wizard.FullScreen()) {
      SetWindowTextA(wizard.frame, title);
    } else {
      TextBuffer caption(wizard.context.platform, 1025);
      if (caption.get() != nullptr) {
        BuildPageCaption(caption.get(), caption.size(), setupTitle, title);
        SetWindowTextA(wizard.background, caption.get());
      }
    }
  }
  for (int i = 0; i < 4; ++i) {
    HWND text = GetDlgItem(page, 1000 + i);
    if (text != nullptr) SetWindowTextA(text, GetPackageString(current, group, i + 1));
  }
  SetFrameButtonText(wizard, 1, 0);
  SetFrameButtonText(wizard, 2, 1);
  SetFrameButtonText(wizard, 4, 2);
  SetFrameButtons(wizard, PageButtonFlags(flags, wizard.context.package.startPage));
}

INT_PTR CALLBACK FrameDialogProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(frame, message, lParam);
  if (wizard == nullptr) return FALSE;
  RunState& run = wizard->context.run;
  switch (message) {
    case WM_INITDIALOG: {
      wizard->frame = frame;
      run.frameWindow = reinterpret_cast<WindowHandle>(frame);
      RECT outer, own;
      GetWindowRect(wizard->background, &outer);
      GetWindowRect(frame, &own);
      int x = FrameOrigin(wizard->centreX, own.right - own.left, outer.right - outer.left);
      int y = FrameOrigin(wizard->centreY, own.bottom - own.top, outer.bottom - outer.top);
      SetWindowPos(frame, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
      ApplyPageFont(*wizard, frame);
      // Drawn active although the background window holds the activation.
      PostMessageA(frame, WM_NCACTIVATE, TRUE, 0);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(frame, &paint);
      if (dc != nullptr) {
        DrawSunkenControl(frame, dc, kSeparatorControl, true);
        const Payload& picture = wizard->context.package.wizardBitmap;
        if (picture.data != nullptr) {
          DrawPictureInControl(frame, dc, kPictureControl, picture.data, picture.size);
        }
        EndPaint(frame, &paint);
      }
      break;
    }
    case WM_COMMAND: {
      // The page sees every button first and may take it over.
      if (wizard->pageWindow != nullptr &&
          SendMessageA(wizard->pageWindow, WM_COMMAND, wParam, lParam) != 0) {
        break;
      }
      switch (LOWORD(wParam)) {
        case IDOK: run.pageResult = PAGE_NEXT; break;
        case kBackButton: run.pageResult = PAGE_BACK; break;
        case IDCANCEL:
          if (wizard->buttonFlags & BTN_QUIET_CANCEL) {
            run.pageResult = PAGE_END;
          } else if (AskSetupQuestion(wizard->context, QUESTION_LEAVE,
                                      GetPackageString(wizard->context.current, 6, 14),
                                      MB_YESNO | MB_ICONQUESTION) == IDYES) {
            ShowString(*wizard, 15, MB_ICONINFORMATION);
            run.pageResult = PAGE_END;
            ForgetAfterInstallEntries(run);
          }
          break;
      }
      break;
    }
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: ShowWindow(wizard->background, SW_MINIMIZE); break;
        case SC_CLOSE: run.pageResult = PAGE_END; break;
      }
      break;
  }
  return PageColorDefault(wizard, message, wParam);
}

HWND CreateFrame(Wizard& wizard) {
  wizard.frameTemplate = CopyDialogTemplate(wizard.context, wizard.FullScreen() ? 1 : 0);
  if (wizard.frameTemplate == nullptr) return nullptr;
  HWND frame = CreateDialogIndirectParamA(
      wizard.instance, static_cast<LPCDLGTEMPLATEA>(wizard.frameTemplate), wizard.background,
      FrameDialogProc, reinterpret_cast<LPARAM>(&wizard));
  if (frame == nullptr || wizard.FullScreen()) return frame;
  // Windowed: the background window shrinks to wrap the frame exactly.
  RECT rect;
  GetWindowRect(frame, &rect);
  AdjustWindowRectEx(&rect, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE, 0);
  SetWindowPos(wizard.background, nullptr, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOZORDER);
  SetWindowPos(frame, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  return frame;
}

void RunPageLoop(Wizard& wizard) {
  RunState& run = wizard.context.run;
  wizard.pageIndex = FirstPageIndex(wizard.context.package.startPage);
  while (wizard.pageIndex != kLoopEnded) {
    int32_t result = RunSetupPage(wizard, PageTemplate(wizard.pageIndex),
                                  kPageProcedures[wizard.pageIndex]);
    wizard.pageIndex = NextPageIndex(wizard.pageIndex, result, wizard.SinglePage());
  }
  // A run left open (closed in the middle, or the quiet Cancel of a single
  // progress page) or stopped by an error must not run what it installed.
  if (!KeepAfterInstallEntries(run.inputOpen, run.error.number)) ForgetAfterInstallEntries(run);
  if (run.inputOpen) AbandonInstallRun(wizard.context);
}

void DestroyFrame(Wizard& wizard) {
  if (wizard.frame != nullptr) DestroyWindow(wizard.frame);
  wizard.frame = nullptr;
  wizard.context.run.frameWindow = 0;
  FreeDialogTemplate(wizard.frameTemplate);
  wizard.frameTemplate = nullptr;
}

}  // namespace setup
