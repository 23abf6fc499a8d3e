// The setup program's entry point.
#include <windows.h>

#include "package/stub_patch.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  setup::Win32Platform platform;
  // A stub without a package has nothing to install.
  if (setup::StubSize() == 0) return -1;
  return 0;
}
