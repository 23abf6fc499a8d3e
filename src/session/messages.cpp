#include "session/messages.h"

#include "base/text_format.h"
#include "package/strings.h"

namespace setup {

void FormatErrorText(const SetupContext& context, char* buffer, uint32_t size, int error) {
  const char* text = GetPackageString(context.current, 6, static_cast<unsigned>(error));
  if (HasTextConversion(text)) {
    FormatText(buffer, size, text, context.run.error.subject, 0);
  } else {
    CopyText(buffer, size, text);
  }
}

int ShowSetupMessage(SetupContext& context, const char* text, uint32_t type) {
  WindowHandle owner = context.run.frameWindow != 0 ? context.run.frameWindow
                                                    : context.run.backgroundWindow;
  return context.platform.MessageBoxA(owner, text, GetPackageString(context.current, 6, 0), type);
}

int AskSetupQuestion(SetupContext& context, Question question, const char* text, uint32_t type) {
  context.run.question = question;
  int answer = ShowSetupMessage(context, text, type);
  context.run.question = QUESTION_NONE;
  return answer;
}

void FormatPathMessage(const SetupContext& context, unsigned index, const char* path,
                       char* buffer, uint32_t size) {
  const char* text = GetPackageString(context.current, 6, index);
  if (IsSingleTextFormat(text)) {
    FormatText(buffer, size, text, path, 0);
  } else {
    CopyText(buffer, size, text);
  }
}

}  // namespace setup
