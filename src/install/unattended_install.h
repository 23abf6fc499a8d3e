// An install run with nobody at the screen: the disk-space check, begin, one
// file per step until done, finish; every question answered from a script.
//
// Questions are caught where every message box passes, at the platform, so
// that no box the engine shows can wait for a person unseen, whatever the
// backend. The engine tags the questions it asks (context.run.question); the
// script answers them by kind, in order. A question the script does not
// answer gets the answer that changes nothing (No, Cancel, Abort; Yes to
// "leave the installation incomplete?", so that a missing disk cannot ask
// forever), is recorded as unanswered, and ends the run with
// UNATTENDED_UNANSWERED: a guess is never taken for an answer. Plain messages
// (OK only) are recorded and answered OK.
//
// Tests and the Windows check drive runs with it. The quiet mode (/Q) runs
// the same steps with the session answering every question by its policy
// (QuietAnswer): the stub does without the answering platform's forwarding
// layer, and nothing can go unanswered.
#pragma once

#include <cstdint>

#include "platform/forwarding_platform.h"
#include "session/setup_context.h"

namespace setup {

// One scripted answer: the next question of this kind gets it.
struct ScriptedAnswer {
  Question question;
  int answer;  // kIdYes, kIdNo, kIdAbort, kIdRetry, kIdIgnore, kIdOk, kIdCancel
};

// Told of every message box, with its text and the answer it got.
class QuestionRecorder {
 public:
  virtual ~QuestionRecorder() = default;
  virtual void Asked(Question question, const char* text, uint32_t type, int answer,
                     bool answered) = 0;
};

// Passes every call on to `inner`, except message boxes, which it answers
// from the script. Follow() names the run state whose question tag it reads.
class AnsweringPlatform final : public ForwardingPlatform {
 public:
  AnsweringPlatform(Platform& inner, const ScriptedAnswer* script, uint32_t count,
                    QuestionRecorder* recorder)
      : ForwardingPlatform(inner), script_(script), count_(count), recorder_(recorder) {}

  void Follow(const RunState& run) { run_ = &run; }
  // Whether a question went without a scripted answer.
  bool LeftUnanswered() const { return unanswered_; }

  int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                  uint32_t type) override;

 private:
  const ScriptedAnswer* script_;
  uint32_t count_;
  QuestionRecorder* recorder_;
  const RunState* run_ = nullptr;
  // Per question kind, where in the script its next answer is looked for.
  uint32_t next_[QUESTION_LEAVE + 1] = {};
  bool unanswered_ = false;
};

enum UnattendedResult : int {
  UNATTENDED_DONE = 0,        // installed; the finishing step ran
  UNATTENDED_FAILED = 1,      // stopped with a setup error (context.run.error)
  UNATTENDED_ABORTED = 2,     // package data could not be read: the setup ends
  UNATTENDED_UNANSWERED = 3,  // a question had no scripted answer; the run stopped there
  UNATTENDED_DECLINED = 4,    // a scripted answer declined to go on (disk space, read-only)
};

// Runs the whole install of the current component. `context` must have been
// built on `answers` (and answers.Follow(context.run) called).
UnattendedResult RunUnattendedInstall(SetupContext& context, const AnsweringPlatform& answers);

// The same for a quiet run (context.run.quiet): the session answers.
UnattendedResult RunUnattendedInstall(SetupContext& context);

}  // namespace setup
