#include "session/load_package.h"

#include "package/component.h"
#include "package/package_loader.h"
#include "package/strings.h"
#include "session/messages.h"

namespace setup {

int LoadPackage(SetupContext& context) {
  CopyText(context.openPath, kPathSize, context.packagePath);
  PackageLoad load = ReadPackage(context.platform, context.reader.decoder, context.openPath,
                                 context.stubSize, context.package);
  if (load == PackageLoad::kAbsent) return 0;

  // A start component without a slot falls back to the first component.
  PackageState& package = context.package;
  int start = package.startComponent < package.componentCount ? package.startComponent : 0;
  context.current.index = start;
  SelectComponent(package, context.current, start);

  if (load == PackageLoad::kComplete) return 1;
  const char* text = GetPackageString(context.current, 6, 31);
  if (*text != '\0') ShowSetupMessage(context, text, kMbIconInformation);
  return 0;
}

void FreePackage(SetupContext& context) {
  FreePackageState(context.platform, context.package);
  context.current.descriptor = nullptr;
  context.current.firstEntry = nullptr;
  context.current.fileCount = 0;
}

}  // namespace setup
