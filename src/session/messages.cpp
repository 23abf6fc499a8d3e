#include "session/messages.h"

#include "base/text_format.h"
#include "package/strings.h"
#include "platform/windows_rules.h"

namespace setup {

void FormatErrorText(const SetupContext& context, char* buffer, uint32_t size, int error) {
  const char* text = GetPackageString(context.current, 6, static_cast<unsigned>(error));
  if (HasTextConversion(text)) {
    FormatText(buffer, size, text, context.run.error.subject, 0);
  } else {
    CopyText(buffer, size, text);
  }
}

namespace {

// The quiet mode's answer to each question, by kind (see QuietAnswer).
constexpr uint8_t kQuietAnswers[] = {
    0,          // QUESTION_NONE: a message is taken as read; anything else declined
    kIdNo,      // QUESTION_DISK_SPACE: not enough room stops the run
    kIdYes,     // QUESTION_READ_ONLY: write-protected targets are replaced
    kIdNo,      // QUESTION_VERSION: a newer file on the machine is kept
    kIdNo,      // QUESTION_LANGUAGE: so is one in another language
    kIdAbort,   // QUESTION_FILE_IN_USE: not asked when quiet (replaced at restart)
    kIdCancel,  // QUESTION_INSERT_DISK: not asked when quiet (nobody inserts one)
    kIdYes,     // QUESTION_LEAVE: yes, leave
};
static_assert(sizeof kQuietAnswers == QUESTION_LEAVE + 1);

}  // namespace

int QuietAnswer(Question question, uint32_t type) {
  if (question > QUESTION_NONE && question <= QUESTION_LEAVE) return kQuietAnswers[question];
  return DecliningButton(type);
}

int ShowSetupMessage(SetupContext& context, const char* text, uint32_t type) {
  // Quiet: nothing to show, and nobody to read it. What the engine decided
  // on the answer is in the log, file by file.
  if (context.run.quiet) return QuietAnswer(context.run.question, type);
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
