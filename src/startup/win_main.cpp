// The setup program's entry point.
#include <windows.h>

#include "package/stub_patch.h"
#include "platform/win32/win32_platform.h"
#include "session/load_package.h"
#include "session/setup_context.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  setup::Win32Platform platform;
  setup::SetupContext context(platform);
  // A stub without a package has nothing to install.
  context.stubSize = setup::StubSize();
  if (context.stubSize == 0) return -1;
  GetModuleFileNameA(instance, context.packagePath, setup::kPathSize);
  if (setup::LoadPackage(context) != 1) {
    setup::FreePackage(context);
    return -1;
  }
  setup::FreePackage(context);
  return 0;
}
