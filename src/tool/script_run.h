// run: an rqshell command script with rqshell's own command table, parsers and console
// text, but strict: the first command that fails stops the run (unless keep_going), is
// named on standard error as FILE:LINE: command, and decides the exit status. `s` switches
// files as it does in the shell; `q` ends the run. A line longer than the shell reads as one
// command (1023 characters), which the shell would run in pieces, fails as a usage error
// before any of it runs; a diagnostic whose answers end on standard input has no verdict
// (status 2, as rqtool diag).
#pragma once

#include <string>

#include "tool/tool.h"

namespace rq {

struct RunArgs {
  std::string script;
  bool keep_going = false;
  bool echo = false;  // prints "> command" before each command
};

struct RunSummary {
  int commands = 0;           // commands run
  int failed = 0;             // of them, failed
  std::string first_failure;  // FILE:LINE: command
};

int tool_run(Tool& t, const RunArgs& a, RunSummary& s);

}  // namespace rq
