#include "install/unattended_install.h"

#include "install/disk_space.h"
#include "install/install_file.h"
#include "install/install_run.h"
#include "package/strings.h"
#include "session/messages.h"

namespace setup {

namespace {

// The answer that leaves things as they are, for a box nobody answered.
int Unanswered(Question question, uint32_t type) {
  if (question == QUESTION_LEAVE) return kIdYes;
  switch (type & 0xF) {
    case kMbOk: return kIdOk;
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbYesNo: return kIdNo;
    default: return kIdCancel;
  }
}

}  // namespace

int AnsweringPlatform::MessageBoxA(WindowHandle, const char* text, const char*, uint32_t type) {
  Question question = run_ != nullptr ? run_->question : QUESTION_NONE;
  if (question < QUESTION_NONE || question > QUESTION_LEAVE) question = QUESTION_NONE;
  int answer = 0;
  bool answered = false;
  for (uint32_t i = next_[question]; i < count_; ++i) {
    if (script_[i].question == question) {
      answer = script_[i].answer;
      answered = true;
      next_[question] = i + 1;
      break;
    }
  }
  if (!answered) {
    answer = Unanswered(question, type);
    // A message with only OK to press asks nothing.
    answered = question == QUESTION_NONE && (type & 0xF) == kMbOk;
    if (!answered) {
      unanswered_ = true;
      next_[question] = count_;
    }
  }
  if (recorder_ != nullptr) {
    recorder_->Asked(question, text != nullptr ? text : "", type, answer, answered);
  }
  return answer;
}

namespace {

// `answers` null: the session answers, and nothing is left unanswered.
UnattendedResult RunInstall(SetupContext& context, const AnsweringPlatform* answers) {
  const auto LeftUnanswered = [answers] { return answers != nullptr && answers->LeftUnanswered(); };
  RunState& run = context.run;
  CheckedFiles files{context.current.firstEntry, context.current.fileCount};
  PathPlaces places{context.platform, context.current.destinationFolder, context.packagePath};
  bool readOnlyMet = false;
  RecordError(run.error, ERR_NONE, nullptr);
  DiskCheck check = CheckDiskSpace(places, files, run.error, &readOnlyMet);
  if (check == DISK_CHECK_READ_ONLY) {
    RecordErrorNumber(run.error, ERR_TARGET_READ_ONLY);
    return UNATTENDED_FAILED;
  }
  constexpr uint32_t kQuestion = kMbYesNo | kMbIconQuestion;
  if (check == DISK_CHECK_NO_ROOM &&
      AskSetupQuestion(context, QUESTION_DISK_SPACE, GetPackageString(context.current, 6, 11),
                       kQuestion) != kIdYes) {
    RecordErrorNumber(run.error, ERR_DISK_SPACE);
    return LeftUnanswered() ? UNATTENDED_UNANSWERED : UNATTENDED_DECLINED;
  }
  if (readOnlyMet &&
      AskSetupQuestion(context, QUESTION_READ_ONLY, GetPackageString(context.current, 6, 7),
                       kQuestion) != kIdYes) {
    return LeftUnanswered() ? UNATTENDED_UNANSWERED : UNATTENDED_DECLINED;
  }

  if (!BeginInstallRun(context)) return UNATTENDED_FAILED;
  while (InstallNextFile(context) && !LeftUnanswered()) {
  }
  if (run.aborted || LeftUnanswered()) {
    AbandonInstallRun(context);
    return run.aborted ? UNATTENDED_ABORTED : UNATTENDED_UNANSWERED;
  }
  FinishInstallRun(context);
  return run.error.number == ERR_NONE ? UNATTENDED_DONE : UNATTENDED_FAILED;
}

}  // namespace

UnattendedResult RunUnattendedInstall(SetupContext& context, const AnsweringPlatform& answers) {
  return RunInstall(context, &answers);
}

UnattendedResult RunUnattendedInstall(SetupContext& context) {
  return RunInstall(context, nullptr);
}

}  // namespace setup
