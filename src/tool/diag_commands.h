// diag: the device's self-tests for a test fixture. Key prompts of the audio test may be
// answered in advance (--go); questions that need an observation are always asked when they
// come, on standard error, and answered on standard input or by the fixture's program
// (--ask CMD), so that a pass always rests on someone or something that observed the device.
// Exit 0 passed, 1 failed, 6 cancelled; 2 and no verdict when the answers ran out.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace rq {

struct DiagArgs {
  std::string test;  // usb, rtc, flash, gba or aud
  bool go = false;
  std::string ask;  // empty: answers come from standard input
};

// One prompt of the test and how it was answered.
struct DiagAnswer {
  std::string kind;    // "key" (go on or cancel) or "question" (an observation: yes or no)
  std::string prompt;  // the words shown
  std::string answer;  // "go", "cancel", "yes", "no", or "none" (no answer came)
  std::string by;      // "go" (--go), "stdin", "ask" (--ask CMD), "cancel" (follows a cancel)
};

struct DiagReport {
  std::string test;
  // "passed", "failed", "cancelled", or "none" (no verdict: the test did not run to its end)
  std::string outcome = "none";
  int status = 0;  // the device's status when a stage did not answer 0
  std::vector<DiagAnswer> answers;
};

// The diag subcommand with its options, filling a.
CLI::App* add_diag_command(CLI::App& app, DiagArgs& a);

int tool_diag(Tool& t, const DiagArgs& a, DiagReport& r);

// The verdict line on standard output ("usb: passed"); nothing without a verdict.
void print_diag(Tool& t, const DiagReport& r);

}  // namespace rq
