// The pages that carry only texts, the choice of component and the last
// confirmation: Welcome, Information, Component choice and Ready to install.
// Where each button leads is decided by page_sequence; the procedures here
// only ask it and jump.
#include <windows.h>

#include "package/component.h"
#include "package/strings.h"
#include "paths/path_helpers.h"
#include "session/messages.h"
#include "wizard/page_rules.h"
#include "wizard/page_sequence.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr int kBackButton = 1007;
constexpr int kFirstRadio = 1021;
constexpr int kLastRadio = 1026;

WizardShape ShapeOf(const Wizard& wizard) {
  const char* information = GetPackageString(wizard.context.current, 1, 1);
  return WizardShape{wizard.context.package.componentCount, information[0] != '\0'};
}

// Focus on the frame's Next button, so that Enter goes on.
INT_PTR FocusNext(Wizard& wizard) {
  SetFocus(GetDlgItem(wizard.frame, IDOK));
  return FALSE;
}

// Jumps to where `target` leads from the page unless that is the slot the
// frame's own handling of the button reaches anyway.
INT_PTR JumpUnlessFrameDoes(Wizard& wizard, HWND page, int32_t target, int32_t frameTarget) {
  if (target == frameTarget) return FALSE;
  GoToPage(wizard, target);
  return MarkCommandHandled(page);
}

}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  if (message == WM_INITDIALOG) {
    InitSetupPage(*wizard, page, BTN_NEXT | BTN_CANCEL);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK && !wizard->SinglePage()) {
    return JumpUnlessFrameDoes(*wizard, page, NextPageAfter(PAGE_WELCOME, ShapeOf(*wizard)),
                               PAGE_INFORMATION);
  }
  return PageColorDefault(wizard, message, wParam);
}

INT_PTR CALLBACK InformationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  if (message == WM_INITDIALOG) {
    InitSetupPage(*wizard, page, BTN_BACK | BTN_NEXT | BTN_CANCEL);
    return FocusNext(*wizard);
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK && !wizard->SinglePage()) {
    return JumpUnlessFrameDoes(*wizard, page, NextPageAfter(PAGE_INFORMATION, ShapeOf(*wizard)),
                               PAGE_COMPONENTS);
  }
  return PageColorDefault(wizard, message, wParam);
}

INT_PTR CALLBACK ComponentPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  SetupContext& context = wizard->context;
  int count = context.package.componentCount;
  if (count > kMaxComponents) count = kMaxComponents;
  switch (message) {
    case WM_INITDIALOG:
      InitSetupPage(*wizard, page, BTN_BACK | BTN_NEXT | BTN_CANCEL);
      for (int i = 0; i < count; ++i) {
        HWND radio = GetDlgItem(page, kFirstRadio + i);
        if (radio == nullptr) continue;
        const ComponentSlot& slot = context.package.components[i];
        if (slot.hasDescriptor && slot.descriptor.choiceLabel != nullptr) {
          SetWindowTextA(radio, slot.descriptor.choiceLabel);
        }
        EnableWindow(radio, TRUE);
        ShowWindow(radio, SW_SHOWNORMAL);
      }
      CheckRadioButton(page, kFirstRadio, kLastRadio, kFirstRadio + context.current.index);
      return FocusNext(*wizard);
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id >= kFirstRadio && id <= kLastRadio) {
        bool checked[kMaxComponents];
        for (int i = 0; i < count; ++i) {
          checked[i] = IsDlgButtonChecked(page, kFirstRadio + i) == BST_CHECKED;
        }
        int chosen = ChosenComponent(checked, count, context.current.index);
        if (chosen != context.current.index) {
          SelectComponent(context.package, context.current, chosen);
        }
        // Every text belongs to the component: the page is labelled anew.
        InitSetupPage(*wizard, page, BTN_BACK | BTN_NEXT | BTN_CANCEL);
        break;
      }
      if (wizard->SinglePage()) break;
      if (id == IDOK) {
        GoToPage(*wizard, NextPageAfter(PAGE_COMPONENTS, ShapeOf(*wizard)));
        return MarkCommandHandled(page);
      }
      if (id == kBackButton) {
        return JumpUnlessFrameDoes(*wizard, page, PageBefore(PAGE_COMPONENTS, ShapeOf(*wizard)),
                                   PAGE_INFORMATION);
      }
      break;
    }
  }
  return PageColorDefault(wizard, message, wParam);
}

INT_PTR CALLBACK ReadyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  Wizard* wizard = WizardForMessage(page, message, lParam);
  if (wizard == nullptr) return FALSE;
  CurrentComponent& current = wizard->context.current;
  if (message == WM_INITDIALOG) {
    InitSetupPage(*wizard, page, BTN_BACK | BTN_NEXT | BTN_CANCEL);
    // The folder without its backslash (a drive root keeps it).
    TextBuffer text(wizard->context.platform, 1025 + kPathSize);
    if (text.get() != nullptr) {
      StripBackslash(current.destinationFolder);
      FillTextFormat(text.get(), text.size(), GetPackageString(current, 3, 2),
                     current.destinationFolder);
      AppendBackslash(current.destinationFolder, kPathSize);
      SetDlgItemTextA(page, 1001, text.get());
    }
    SetFrameButtonText(*wizard, 2, 3);
    return FocusNext(*wizard);
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK && wizard->readOnlyMet &&
      AskSetupQuestion(wizard->context, QUESTION_READ_ONLY, GetPackageString(current, 6, 7),
                       MB_YESNO | MB_ICONQUESTION) == IDNO) {
    return MarkCommandHandled(page);
  }
  return PageColorDefault(wizard, message, wParam);
}

}  // namespace setup
