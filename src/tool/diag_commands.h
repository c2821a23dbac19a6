// diag: the device's self-tests for a test fixture. Key prompts of the audio test may be
// answered in advance (--go); questions that need an observation are always asked when they
// come, on standard error, and answered on standard input or by the fixture's program
// (--ask CMD), so that a pass always rests on someone or something that observed the device.
// Exit 0 passed, 1 failed, 6 cancelled; 2 and no verdict when the answers ran out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace rq {

struct DiagArgs {
  std::string test;  // usb, rtc, flash, gba or aud
  bool go = false;
  std::string ask;  // empty: answers come from standard input
};

// The test words as rqtool lists them: the tests that run alone first, then the audio
// dialogue, which needs an answer at every stage.
std::vector<std::string> diag_test_words();

// A prompt: a key prompt (go on or cancel) or a question (an observation: yes or no).
enum class PromptKind : uint8_t { kKey, kQuestion };
// How it was answered; kNone: no answer came.
enum class PromptAnswer : uint8_t { kNone, kGo, kCancel, kYes, kNo };
// Who answered: --go, standard input, the --ask program, or the cancel before it.
enum class AnsweredBy : uint8_t { kNone, kGo, kStdin, kAsk, kCancel };
// The verdict; kNone: the test did not run to its end.
enum class DiagOutcome : uint8_t { kNone, kPassed, kFailed, kCancelled };

// Their names for the presenters: "key", "go", "stdin", "passed", ...
const char* prompt_kind_name(PromptKind kind);
const char* prompt_answer_name(PromptAnswer answer);
const char* answered_by_name(AnsweredBy by);
const char* diag_outcome_name(DiagOutcome outcome);

// One prompt of the test and how it was answered.
struct DiagAnswer {
  PromptKind kind = PromptKind::kKey;
  std::string prompt;  // the words shown
  PromptAnswer answer = PromptAnswer::kNone;
  AnsweredBy by = AnsweredBy::kNone;
};

struct DiagReport {
  std::string test;
  DiagOutcome outcome = DiagOutcome::kNone;
  int status = 0;  // the device's status when a stage did not answer 0
  std::vector<DiagAnswer> answers;
};

int tool_diag(Tool& t, const DiagArgs& a, DiagReport& r);

}  // namespace rq
