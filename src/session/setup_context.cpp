#include "session/setup_context.h"

#include "session/session_disk_prompt.h"

namespace setup {

void SetSetupError(SetupContext& context, int error, const char* subject) {
  RecordError(context.run.error, error, subject);
}

void SetSetupErrorNumber(SetupContext& context, int error) {
  RecordErrorNumber(context.run.error, error);
}

int BeginPackageData(SetupContext& context) {
  context.reader.prompt = SessionDiskPrompt(context);
  return BeginPackageData(context.reader, context.packagePath, context.package.regionStart,
                          context.package.regionLength);
}

}  // namespace setup
