// The uninstaller program: it reads the uninstall log that the setup
// appended to its own file and removes what the log names.
//
// Started plainly (from the uninstall registration) it asks once, shows its
// progress, asks before it deletes a shared file no program counts any
// more, and ends by saying what it did and what it left. With /X (a setup
// removing an earlier installation) or /Q it shows no window at all, keeps
// such shared files and tells its outcome by the exit code: 0 done, 3010
// when a restart completes the removal of the product's files, 1 when
// nothing was removed (the log is damaged or missing, or the user said no)
// or something could be neither removed nor scheduled for the restart.
#include <windows.h>

#include "base/run_log.h"
#include "base/text.h"
#include "base/text_format.h"
#include "platform/win32/win32_platform.h"
#include "startup/command_line.h"
#include "uninstall/remove_installation.h"
#include "uninstall/uninstall_command_line.h"
#include "uninstall/uninstall_texts.h"
#include "uninstall/uninstaller_file.h"
#include "uninstaller/progress_window.h"

namespace setup {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRestart = 3010;
constexpr uint32_t kMessageSize = 4096;
// The message texts are too large for the stack frames the size flags
// allow; the program is single-threaded, so they live here.
char g_message[kMessageSize];
char g_leftList[kMessageSize / 2];
// The closing message lists this many items left, then "...".
constexpr int kListedItems = 12;

class Questions final : public RemovalQuestions {
 public:
  Questions(Platform& platform, const StringGroup& texts, bool quiet, ProgressWindow& window)
      : platform_(platform), texts_(texts), quiet_(quiet), window_(window) {}

  bool RemoveSharedFile(const char* path) override {
    if (quiet_) return false;
    FormatText(g_message, sizeof g_message, UninstallString(texts_, UNTEXT_SHARED), path, 0);
    return platform_.MessageBoxA(reinterpret_cast<WindowHandle>(window_.window()), g_message,
                                 UninstallString(texts_, UNTEXT_CAPTION),
                                 kMbYesNo | kMbIconQuestion | kMbDefButton2) == kIdYes;
  }

  void Progress(const char* path, int percent) override { window_.Show(path, percent); }

  void Left(const char* path, LeftReason reason) override {
    static constexpr UninstallText kReasons[] = {UNTEXT_AT_RESTART, UNTEXT_SHARED_KEPT,
                                                 UNTEXT_STILL_USED, UNTEXT_NOT_EMPTY, UNTEXT_FAILED};
    if (++count_ > kListedItems) {
      if (count_ == kListedItems + 1) AppendText(g_leftList, sizeof g_leftList, "\n...");
      return;
    }
    AppendText(g_leftList, sizeof g_leftList, "\n");
    AppendText(g_leftList, sizeof g_leftList, path);
    AppendText(g_leftList, sizeof g_leftList, " (");
    AppendText(g_leftList, sizeof g_leftList, UninstallString(texts_, kReasons[reason]));
    AppendText(g_leftList, sizeof g_leftList, ")");
  }

  const char* list() const { return g_leftList; }

 private:
  Platform& platform_;
  const StringGroup& texts_;
  bool quiet_;
  ProgressWindow& window_;
  int count_ = 0;
};

// The product's name: the last part of the uninstall key, which the setup
// made from the component's display name.
void ProductName(const UninstallerFile& file, char* out, uint32_t size) {
  char key[kPathSize] = {};
  if (file.log.hasRegistration) CopyLogText(file.log.registrationKey, key, sizeof key);
  const char* name = key + TextLength(key);
  while (name > key && name[-1] != '\\') --name;
  CopyText(out, size, name[0] != '\0' ? name : UninstallString(file.texts, UNTEXT_PRODUCT));
}

int Uninstall(HINSTANCE instance, const char* arguments) {
  Win32Platform platform;
  UninstallCommandLine line;
  ParseUninstallCommandLine(arguments, &line);
  char self[kPathSize] = {};
  GetModuleFileNameA(nullptr, self, kPathSize);
  VersionInfo version = {};
  platform.GetVersionExA(&version);

  RunLog log;
  log.Open(platform, line.logPath);
  UninstallerFile file;
  UninstallerFileResult loaded = LoadUninstallerFile(platform, self, &file);
  const char* caption = UninstallString(file.texts, UNTEXT_CAPTION);
  if (loaded != UNINSTALLER_FILE_OK) {
    if (!line.quiet) {
      platform.MessageBoxA(0, UninstallString(file.texts, UNTEXT_DAMAGED), caption, kMbOk);
    }
    log.LineNumber("result", self, kExitFailed);
    log.Close();
    FreeUninstallerFile(platform, &file);
    return kExitFailed;
  }

  char name[kPathSize];
  ProductName(file, name, sizeof name);
  char* text = g_message;
  int code = kExitFailed;
  FormatText(text, kMessageSize, UninstallString(file.texts, UNTEXT_CONFIRM), name, 0);
  if (line.quiet || platform.MessageBoxA(0, text, caption, kMbYesNo | kMbIconQuestion) == kIdYes) {
    ProgressWindow window;
    if (!line.quiet) window.Create(instance, caption, UninstallString(file.texts, UNTEXT_REMOVING));
    Questions questions(platform, file.texts, line.quiet, window);
    RemovalSettings settings{version.platformId == kVerPlatformWin32Nt, self, &log};
    RemovalResult result = RemoveInstallation(platform, settings, file.log, questions);
    window.Destroy();
    code = result.failed ? kExitFailed : result.restartNeeded ? kExitRestart : kExitDone;
    if (!line.quiet) {
      FormatText(text, kMessageSize, UninstallString(file.texts, UNTEXT_DONE), name, 0);
      if (questions.list()[0] != '\0') {
        AppendText(text, kMessageSize, "\n\n");
        AppendText(text, kMessageSize, UninstallString(file.texts, UNTEXT_LEFT));
        AppendText(text, kMessageSize, questions.list());
      }
      AppendText(text, kMessageSize, "\n\n");
      AppendText(text, kMessageSize, UninstallString(file.texts, UNTEXT_RESTART));
      platform.MessageBoxA(0, text, caption, kMbOk | kMbIconInformation);
    }
  }
  log.LineNumber("result", name, code);
  log.Close();
  FreeUninstallerFile(platform, &file);
  return code;
}

}  // namespace

}  // namespace setup

// The process entry, in place of the C runtime's start-up (as the setup's).
extern "C" void WINAPI WinMainCRTStartup() {
  const char* arguments = setup::SkipProgramName(GetCommandLineA());
  ExitProcess(static_cast<UINT>(setup::Uninstall(GetModuleHandleA(nullptr), arguments)));
}
