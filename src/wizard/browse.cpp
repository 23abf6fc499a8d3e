// The folder chooser: the system's old-style save-file dialog on a package
// template, with a hook that shows the folder the user has moved to and
// closes the dialog with it when OK is pressed, so that a folder is chosen
// rather than a file.
#include <windows.h>

#include "base/text.h"
#include "package/strings.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr int kChosenEdit = 101;

// What the hook shares with BrowseForFolder. The hook gets it with
// WM_INITDIALOG; the dialog's own messages before that need none of it.
struct BrowseState {
  Wizard* wizard;
  char chosen[kPathSize];
  bool ready;
};

UINT selectionChanged = 0;
// The hook carries no pointer of ours on later messages: the one chooser up
// at a time is found here.
BrowseState* openChooser = nullptr;

UINT_PTR CALLBACK BrowseHookProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  BrowseState* state = openChooser;
  if (state == nullptr) return 0;
  if (message == selectionChanged && selectionChanged != 0) {
    if (!state->ready) return 0;
    // The dialog moves the current folder as the user browses.
    char full[kPathSize];
    DWORD length = GetFullPathNameA(".", kPathSize, full, nullptr);
    if (length == 0 || length >= kPathSize) return 0;
    CopyText(state->chosen, kPathSize, full);
    // Names come back in the OEM set only where the file APIs use it.
    if (!AreFileApisANSI()) OemToCharA(state->chosen, state->chosen);
    SetDlgItemTextA(dialog, kChosenEdit, state->chosen);
    return 0;
  }
  switch (message) {
    case WM_INITDIALOG: {
      Wizard& wizard = *state->wizard;
      const CurrentComponent& current = wizard.context.current;
      ApplyPageFont(wizard, dialog);
      SetDlgItemTextA(dialog, kChosenEdit, state->chosen);
      state->ready = true;
      SetWindowTextA(dialog, GetPackageString(current, 6, 1));
      SetDlgItemTextA(dialog, 1009, GetPackageString(current, 6, 2));
      SetDlgItemTextA(dialog, 1091, GetPackageString(current, 6, 3));
      SetDlgItemTextA(dialog, IDOK, GetPackageString(current, 7, 4));
      SetDlgItemTextA(dialog, IDCANCEL, GetPackageString(current, 7, 5));
      RECT own, outer;
      GetWindowRect(dialog, &own);
      HWND parent = GetParent(dialog);
      if (parent != nullptr) {
        GetWindowRect(parent, &outer);
      } else {
        SetRect(&outer, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
      }
      int x = outer.left + ((outer.right - outer.left) - (own.right - own.left)) / 2;
      int y = outer.top + ((outer.bottom - outer.top) - (own.bottom - own.top)) / 2;
      SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0,
                   SWP_NOZORDER | SWP_NOSIZE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextA(dialog, kChosenEdit, state->chosen, kPathSize);
        // The old-style dialog ends with success on IDABORT from its hook.
        if (state->chosen[0] != '\0') PostMessageA(dialog, WM_COMMAND, IDABORT, 1);
      }
      return 0;
  }
  (void)lParam;
  return 0;
}

}  // namespace

BOOL BrowseForFolder(Wizard& wizard, HWND owner, char* path) {
  if (selectionChanged == 0) selectionChanged = RegisterWindowMessageA(LBSELCHSTRINGA);
  BrowseState state{&wizard, {}, false};
  CopyText(state.chosen, kPathSize, path);
  char fileName[kPathSize] = {};
  void* copy = CopyDialogTemplate(wizard.context, 7);
  if (copy == nullptr) return FALSE;
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.hwndOwner = owner;
  dialog.hInstance = static_cast<HINSTANCE>(copy);
  dialog.lpstrFilter = "*.*\0*.*\0";
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = fileName;
  dialog.nMaxFile = kPathSize;
  dialog.lpstrInitialDir = state.chosen;
  dialog.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
  dialog.lpfnHook = BrowseHookProc;
  openChooser = &state;
  BOOL chosen = GetSaveFileNameA(&dialog);
  openChooser = nullptr;
  if (chosen) CopyText(path, kPathSize, state.chosen);
  FreeDialogTemplate(copy);
  return chosen;
}

}  // namespace setup
