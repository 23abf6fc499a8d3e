// The process entry, in place of the C runtime's start-up: the setup needs
// none of what that brings (argument vectors, TLS callbacks, pseudo-
// relocations, an exception frame registry), and it would cost a sixth of the
// stub. Nothing in the stub has a global constructor to run.
#include <windows.h>

#include "startup/command_line.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

extern "C" void WINAPI WinMainCRTStartup() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  char* arguments = const_cast<char*>(setup::SkipProgramName(GetCommandLineA()));
  int code = WinMain(GetModuleHandleA(nullptr), nullptr, arguments, show);
  ExitProcess(static_cast<UINT>(code));
}
