#include "package/setup_context.h"

namespace setup {

void SetSetupError(SetupContext& context, int error, const char* subject) {
  context.run.errorNumber = error;
  CopyText(context.run.errorSubject, kPathSize, subject != nullptr ? subject : "");
}

void SetSetupErrorNumber(SetupContext& context, int error) { context.run.errorNumber = error; }

}  // namespace setup
