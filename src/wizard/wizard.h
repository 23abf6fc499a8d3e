// The wizard as the Win32 side sees it: one Wizard per run, reached by every
// dialog procedure through its dialog's user data (stored at WM_INITDIALOG),
// by the background window through its window's user data (stored at
// WM_NCCREATE), and by the engine through the ProgressBar and FileNameDisplay
// it is handed.
//
//   start-up -> CreateFrame -> RunPageLoop -> DestroyFrame
//   frame.cpp       frame dialog, page loop, common page set-up, page font
//   pages.cpp       welcome, information, component choice, ready
//   destination.cpp destination folder page; browse.cpp the folder chooser
//   progress.cpp    progress and finish pages, restart of Windows
//   progress_bar.cpp, background.cpp, drawing.cpp  painting
#pragma once

#include <windows.h>

#include <cstdint>

#include "session/setup_context.h"
#include "wizard/picture.h"

namespace setup {

struct Wizard;

// The engine's view of the progress page.
class PageProgressBar final : public ProgressBar {
 public:
  explicit PageProgressBar(Wizard& wizard) : wizard_(wizard) {}
  void SetProgressPercent(int percent) override;

 private:
  Wizard& wizard_;
};

class PageFileName final : public FileNameDisplay {
 public:
  explicit PageFileName(Wizard& wizard) : wizard_(wizard) {}
  void ShowFileName(const char* text) override;

 private:
  Wizard& wizard_;
};

struct Wizard {
  explicit Wizard(SetupContext& c) : context(c), progressBar(*this), fileName(*this) {}
  Wizard(const Wizard&) = delete;
  Wizard& operator=(const Wizard&) = delete;

  SetupContext& context;
  HINSTANCE instance = nullptr;
  int32_t pageIndex = 0;
  HWND frame = nullptr;
  HWND background = nullptr;
  HWND pageWindow = nullptr;      // the page being or last initialised
  HWND progressWindow = nullptr;  // the progress page, while it exists
  uint32_t buttonFlags = 0;
  int32_t centreX = 0, centreY = 0;
  HBRUSH faceBrush = nullptr;
  HFONT pageFont = nullptr;
  void* frameTemplate = nullptr;
  // Progress page.
  bool stepTimerActive = false;
  bool stepsPaused = false;
  uint32_t progressPercent = 0;
  // Finish page: check box 1015.
  bool runAfterInstall = true;
  // Destination page: the last disk check met read-only targets.
  bool readOnlyMet = false;
  PageProgressBar progressBar;
  PageFileName fileName;

  bool SinglePage() const { return context.package.startPage != 0xFFFF; }
  bool FullScreen() const;
};

// A zero-filled heap buffer for one text, freed on every way out; get() is
// null when no memory could be had (the caller then leaves its text as it
// is). Message texts live here rather than on the stack, which has no probes
// in the stub and so must keep every frame well under a page.
class TextBuffer {
 public:
  TextBuffer(Platform& platform, uint32_t size);
  ~TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  char* get() const { return text_; }
  uint32_t size() const { return size_; }

 private:
  Platform& platform_;
  char* text_ = nullptr;
  uint32_t size_;
};

// The Wizard a dialog procedure works for, kept in the dialog's user data:
// WM_INITDIALOG stores the one passed as the creation parameter; before
// that, it is null.
Wizard* WizardForMessage(HWND dialog, UINT message, LPARAM parameter);

// --- frame.cpp -------------------------------------------------------------
void* CopyDialogTemplate(const SetupContext& context, uint32_t number);
void FreeDialogTemplate(void* copy);
int RunSetupPage(Wizard& wizard, uint32_t templateNumber, DLGPROC procedure);
void GoToPage(Wizard& wizard, int32_t index);
BOOL MarkCommandHandled(HWND page);
INT_PTR PageColorDefault(const Wizard* wizard, UINT message, WPARAM wParam);
INT_PTR CALLBACK FrameDialogProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);
void InitSetupPage(Wizard& wizard, HWND page, uint32_t flags);
void SetFrameButtons(Wizard& wizard, uint32_t flags);
void SetFrameButtonText(Wizard& wizard, int kind, unsigned index);
void ApplyPageFont(Wizard& wizard, HWND window);
void CreateFaceBrush(Wizard& wizard);
void DeleteWizardGdi(Wizard& wizard);
// Creates the frame over the background window (null when it cannot be).
HWND CreateFrame(Wizard& wizard);
void RunPageLoop(Wizard& wizard);
void DestroyFrame(Wizard& wizard);
// Forgets the document, program and screen saver noted by the run.
void ForgetAfterInstallEntries(RunState& run);
// A message box with the setup's caption.
int ShowText(Wizard& wizard, const char* text, UINT type);
int ShowString(Wizard& wizard, unsigned index, UINT type);

// --- the pages ----------------------------------------------------------------
INT_PTR CALLBACK WelcomePageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK InformationPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ComponentPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ReadyPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK DestinationPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ProgressPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK FinishPageProc(HWND, UINT, WPARAM, LPARAM);
BOOL BrowseForFolder(Wizard& wizard, HWND owner, char* path);
void RestartWindows(bool windowsNt);

// --- progress_bar.cpp ---------------------------------------------------------
void DrawProgressBar(Wizard& wizard, HWND page, HDC dc);

// --- background.cpp and drawing.cpp -----------------------------------------------
LRESULT CALLBACK BackgroundWndProc(HWND, UINT, WPARAM, LPARAM);
void PaintBackground(HWND window, const uint8_t* picture, uint32_t pictureSize, const char* title,
                     const LOGFONTA* titleFont);
void DrawPictureInControl(HWND window, HDC dc, int control, const uint8_t* picture,
                          uint32_t pictureSize);
void DrawSunkenBox(HDC dc, int left, int top, int right, int bottom, bool fill);
void DrawSunkenControl(HWND window, HDC dc, int control, bool fill);
void FillSolidRect(HDC dc, int x, int y, int width, int height, COLORREF colour);
HPALETTE CreateDibPalette(HDC dc, const uint8_t* colourTable, uint32_t colourCount,
                          uint16_t bitCount);
HPALETTE SelectPicturePalette(HDC dc, const Picture& picture, bool background, HPALETTE* old);
void ReleasePicturePalette(HDC dc, HPALETTE made, HPALETTE old);
void DrawPictureAt(HDC dc, const Picture& picture, int x, int y);
// A control's window rectangle in `window`'s client coordinates.
bool ControlRect(HWND window, int control, RECT* rect);

}  // namespace setup
