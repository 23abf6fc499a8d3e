// A stand-in for the programs the setup starts: the program to run after
// setup, the document's associated program, "rundll32" for the screen saver
// and the uninstaller of an earlier installation. It appends its own command
// line to a marker file, MARKERS\<its name>.txt where MARKERS is the folder
// that SETUP_E2E_MARKERS names (else its own folder), so the test can see
// that it ran and how it was called.
//
// Called with /X, as an uninstaller is, it first works for a while, so that
// a setup that did not wait for it would be caught installing meanwhile.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
  const char* commandLine = GetCommandLineA();
  if (std::strstr(commandLine, " /X") != nullptr) Sleep(1500);
  char own[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, own, MAX_PATH);
  const char* name = std::strrchr(own, '\\') != nullptr ? std::strrchr(own, '\\') + 1 : own;
  char folder[MAX_PATH] = {};
  if (GetEnvironmentVariableA("SETUP_E2E_MARKERS", folder, MAX_PATH) == 0) {
    if (name > own) std::strncpy(folder, own, static_cast<size_t>(name - own - 1));
  }
  char path[2 * MAX_PATH];
  std::snprintf(path, sizeof path, "%s\\%s.txt", folder, name);
  FILE* marker = std::fopen(path, "ab");
  if (marker == nullptr) return 1;
  std::fprintf(marker, "%s\n", commandLine);
  std::fclose(marker);
  return 0;
}
