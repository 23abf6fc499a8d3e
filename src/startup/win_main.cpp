// The setup program's entry point: one instance at a time, the command line,
// the move off a removable disk, the package, the background window and the
// frame, the wizard's page loop, and after it the after-install actions and
// the clean-up.
#include <windows.h>

#include <new>

#include "base/run_log.h"
#include "install/install_report.h"
#include "install/quiet_install.h"
#include "install/restart_replace.h"
#include "package/file_entry.h"
#include "package/stub_patch.h"
#include "package/strings.h"
#include "paths/initial_folders.h"
#include "paths/target_path.h"
#include "platform/win32/win32_platform.h"
#include "session/load_package.h"
#include "session/setup_context.h"
#include "startup/command_line.h"
#include "startup/relaunch.h"
#include "wizard/wizard.h"

namespace setup {

namespace {

constexpr char kClassName[] = "RaveloClass";

// A second setup brings the first (and the box it shows) to the front.
bool BringRunningSetupForward() {
  HWND running = FindWindowA(kClassName, nullptr);
  if (running == nullptr) return false;
  HWND popup = GetLastActivePopup(running);
  BringWindowToTop(running);
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  if (popup != running) BringWindowToTop(popup);
  return true;
}

bool RegisterBackgroundClass(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = BackgroundWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(800));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  windowClass.lpszClassName = kClassName;
  return RegisterClassA(&windowClass) != 0;
}

// The entry's file, started with `format` ("%s" for the path). False when
// its path does not fit.
bool ResolveEntry(SetupContext& context, const uint8_t* entry, char* path) {
  PathPlaces places{context.platform, context.current.destinationFolder, context.packagePath};
  return ResolveTargetPath(places, EntryFolderKind(entry), EntryPlacement(entry),
                           FileEntryString(entry, ENTRY_NAME), path,
                           kTargetPathSize) != TargetResult::kTooLong;
}

// Both keep their command buffers out of RunSetup's frame.
__attribute__((noinline)) void HandOverScreenSaver(SetupContext& context) {
  char path[kTargetPathSize];
  if (!ResolveEntry(context, context.run.screenSaverEntry, path)) return;
  // rundll32 takes the rest of its line as one text: the path stays unquoted.
  char command[kTargetPathSize + 48];
  CopyText(command, sizeof command, "rundll32 desk.cpl,InstallScreenSaver ");
  if (AppendText(command, sizeof command, path)) WinExec(command, SW_SHOWNORMAL);
}

__attribute__((noinline)) void RunProgram(SetupContext& context) {
  char path[kTargetPathSize];
  if (!ResolveEntry(context, context.run.programEntry, path)) return;
  // Quoted, so that "C:\Program Files\..." is not taken for C:\Program.exe.
  char command[kTargetPathSize + 2];
  CopyText(command, sizeof command, "\"");
  if (AppendText(command, sizeof command, path) && AppendText(command, sizeof command, "\"")) {
    WinExec(command, SW_SHOWNORMAL);
  }
}

// Everything one run keeps, on the heap: the stub's stack has no probes and
// takes no frame near a page.
struct SetupRun {
  Win32Platform platform;
  RunLog log;
  SetupContext context{platform};
  Wizard wizard{context};
};

// What both modes do before the package is read: the move off a removable
// disk (or, as the copy, this file's deletion at the next restart) and the
// log. Returns false when the copy has taken over; `code` is then the exit
// code (the copy's own in quiet mode).
bool PrepareRun(SetupRun& run, const CommandLine& line, const char* programPath,
                const char* arguments, int show, int* code) {
  SetupContext& context = run.context;
  Platform& platform = context.platform;
  context.stubSize = StubSize();
  VersionInfo version = {};
  platform.GetVersionExA(&version);
  context.run.windowsNt = version.platformId == kVerPlatformWin32Nt;
  context.run.removableMedia = line.removableMedia;
  context.run.quiet = line.quiet;

  if (!line.removableMedia) {
    // The wizard's first process ends with 0; a quiet one passes on the
    // copy's code, -1 should it be unreadable.
    uint32_t copyCode = line.quiet ? static_cast<uint32_t>(QUIET_NO_PACKAGE) : 0;
    if (RelaunchFromRemovable(platform, programPath, context.packagePath, context.stubSize, show,
                              arguments, line.quiet ? &copyCode : nullptr) == RELAUNCH_STARTED) {
      *code = static_cast<int>(copyCode);
      return false;
    }
  } else {
    // This file is the temporary copy: it goes at the next restart.
    ScheduleReplaceAtRestart(platform, context.run.windowsNt, nullptr, programPath);
  }
  // The first process of a relaunch leaves the log to its copy.
  if (line.logPath[0] != '\0' && run.log.Open(platform, line.logPath)) {
    context.run.log = &run.log;
  }
  return true;
}

// The package and every component's initial folder. False when there is no
// package to install.
bool LoadRun(SetupContext& context) {
  // A stub without a package has nothing to install.
  if (context.stubSize == 0 || LoadPackage(context) != 1) {
    FreePackage(context);
    return false;
  }
  FindInitialFolders(context.platform, context.packagePath, context.package,
                     context.current.index, context.current.destinationFolder);
  return true;
}

// The quiet mode: no window, no question, the outcome as the exit code.
int RunQuiet(SetupRun& run, const CommandLine& line) {
  int code = QUIET_NO_PACKAGE;
  if (LoadRun(run.context)) {
    code = RunQuietInstall(run.context, line.component, line.folder);
    FreePackage(run.context);
  } else {
    ReportResult(run.context, code);
  }
  return code;
}

int RunWizard(Wizard& wizard) {
  SetupContext& context = wizard.context;
  HINSTANCE instance = wizard.instance;
  if (!RegisterBackgroundClass(instance)) return 0;
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  if (!LoadRun(context)) {
    ReportResult(context, kNoExitCode);
    return -1;
  }

  DWORD style = wizard.FullScreen() ? WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN
                                    : WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  wizard.background = CreateWindowExA(0, kClassName, GetPackageString(context.current, 6, 0), style,
                                      0, 0, width, height, nullptr, nullptr, instance, &wizard);
  if (wizard.background == nullptr) {
    FreePackage(context);
    return -1;
  }
  context.run.backgroundWindow = reinterpret_cast<WindowHandle>(wizard.background);
  wizard.centreX = width / 2;
  wizard.centreY = height / 2;

  if (CreateFrame(wizard) != nullptr) {
    ShowWindow(wizard.background, SW_SHOWNORMAL);
    UpdateWindow(wizard.background);
    RunPageLoop(wizard);
  }
  DestroyFrame(wizard);
  ReportResult(context, kNoExitCode);

  if (context.run.screenSaverEntry != nullptr) HandOverScreenSaver(context);
  DestroyWindow(wizard.background);
  context.run.backgroundWindow = 0;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  if (wizard.runAfterInstall && context.run.programEntry != nullptr) RunProgram(context);
  FreePackage(context);
  return 0;
}

int RunSetupOnHeap(HINSTANCE instance, const char* arguments, int show) {
  // The package is this program's file unless /S names another.
  char programPath[kPathSize] = {};
  char packagePath[kPathSize];
  GetModuleFileNameA(instance, programPath, kPathSize);
  CopyText(packagePath, kPathSize, programPath);
  CommandLine line = {};
  line.packagePath = packagePath;
  ParseCommandLine(arguments, &line);
  if (line.quiet) {
    // A quiet setup shows nothing and brings nothing forward; nor may
    // Windows ask for a disk on its behalf.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  } else if (BringRunningSetupForward()) {
    return 0;
  }
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(SetupRun));
  if (block == nullptr) return -1;
  OleInitialize(nullptr);
  SetupRun* run = new (block) SetupRun;
  CopyText(run->context.packagePath, kPathSize, packagePath);
  run->wizard.instance = instance;
  int code = 0;
  if (PrepareRun(*run, line, programPath, arguments, show, &code)) {
    if (line.quiet) {
      code = RunQuiet(*run, line);
    } else {
      CreateFaceBrush(run->wizard);
      code = RunWizard(run->wizard);
      DeleteWizardGdi(run->wizard);
    }
  }
  run->log.Close();
  OleUninitialize();
  run->~SetupRun();
  HeapFree(GetProcessHeap(), 0, block);
  return code;
}

}  // namespace

}  // namespace setup

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR commandLine, int show) {
  return setup::RunSetupOnHeap(instance, commandLine, show);
}
