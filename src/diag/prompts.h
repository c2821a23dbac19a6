// The console's side of the diagnostics: the questions and key prompts with their words and
// keys, asked on behalf of the device operations. Answers always come from the operator's
// console (the session's console reader), also when `diag` came from a script.
#pragma once

#include "device/diag.h"
#include "shell/shell.h"

namespace rq {

// The operator at this shell's console. start_line is printed once the test is running.
struct ConsoleOperator {
  Shell* c = nullptr;
  const char* start_line = nullptr;
};

Operator console_operator(ConsoleOperator& o);

}  // namespace rq
