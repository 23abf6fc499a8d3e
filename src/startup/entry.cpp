// The process entry, in place of the C runtime's start-up: the setup needs
// none of what that brings (argument vectors, TLS callbacks, pseudo-
// relocations, an exception frame registry), and it would cost a sixth of the
// stub. Nothing in the stub has a global constructor to run.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

namespace {

// The command line after the program's name, as WinMain gets it.
char* ArgumentsOf(char* line) {
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line > ' ') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

}  // namespace

extern "C" void WINAPI WinMainCRTStartup() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  int code = WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentsOf(GetCommandLineA()), show);
  ExitProcess(static_cast<UINT>(code));
}
