// A self-registering library for the end-to-end tests: DllRegisterServer
// and DllUnregisterServer each append one line ("register" or "unregister")
// to MARKERS\selfreg.dll.txt, where MARKERS is the folder SETUP_E2E_MARKERS
// names, so the test sees which of them the setup and the uninstaller
// called, and in which order.
#include <windows.h>

#include <cstdio>

namespace {

HRESULT Mark(const char* what) {
  char folder[MAX_PATH] = {};
  if (GetEnvironmentVariableA("SETUP_E2E_MARKERS", folder, MAX_PATH) == 0) return E_FAIL;
  char path[2 * MAX_PATH];
  std::snprintf(path, sizeof path, "%s\\selfreg.dll.txt", folder);
  FILE* marker = std::fopen(path, "ab");
  if (marker == nullptr) return E_FAIL;
  std::fprintf(marker, "%s\n", what);
  std::fclose(marker);
  return S_OK;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() { return Mark("register"); }
extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return Mark("unregister"); }
