#include "session/session_disk_prompt.h"

#include "base/text_format.h"
#include "package/strings.h"
#include "session/messages.h"
#include "session/setup_context.h"

namespace setup {

namespace {

constexpr uint32_t kDiskPromptSize = 200;

// Without a person nobody inserts a disk: a volume that is not in the
// package's folder is given up at once, as a user who cancels would, while
// one that is there but unusable (cut short) stays a damaged volume.
DiskAnswer QuietDiskAnswer(SetupContext& context) {
  if (context.platform.GetFileAttributesA(context.reader.fileName) != kInvalidFileAttributes) {
    return DiskAnswer::kNotAsked;
  }
  context.run.documentEntry = nullptr;
  context.run.programEntry = nullptr;
  context.run.screenSaverEntry = nullptr;
  return DiskAnswer::kGaveUp;
}

// String (6, 28) asks for the disk; Cancel leads to the cancel question
// (6, 13), and only Yes there gives up, after (6, 15) has said that the
// installation did not complete.
DiskAnswer AskForDisk(void* session, uint32_t disk) {
  SetupContext& context = *static_cast<SetupContext*>(session);
  if (context.run.quiet) return QuietDiskAnswer(context);
  if (!context.run.removableMedia) return DiskAnswer::kNotAsked;
  char prompt[kDiskPromptSize];
  FormatText(prompt, sizeof prompt, GetPackageString(context.current, 6, 28), "",
             static_cast<int32_t>(disk));
  if (AskSetupQuestion(context, QUESTION_INSERT_DISK, prompt, kMbOkCancel | kMbIconInformation) ==
      kIdOk) {
    return DiskAnswer::kTryAgain;
  }
  if (AskSetupQuestion(context, QUESTION_LEAVE, GetPackageString(context.current, 6, 13),
                       kMbYesNo | kMbIconQuestion) != kIdYes) {
    return DiskAnswer::kTryAgain;
  }
  ShowSetupMessage(context, GetPackageString(context.current, 6, 15), kMbOk | kMbIconInformation);
  context.run.pageResult = PAGE_END;
  context.run.documentEntry = nullptr;
  context.run.programEntry = nullptr;
  context.run.screenSaverEntry = nullptr;
  return DiskAnswer::kGaveUp;
}

}  // namespace

DiskPrompt SessionDiskPrompt(SetupContext& context) { return {&AskForDisk, &context}; }

}  // namespace setup
