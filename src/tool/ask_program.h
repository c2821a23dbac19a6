// Runs a fixture's answer program: CMD with the question as its one further argument (CMD
// is a command line for the platform's shell). Its standard output goes to rqtool's
// standard error, so that nothing it prints can mix with rqtool's results. One twin per
// platform: ask_program_posix.cc, ask_program_win32.cc. Without a program, answers are read
// from standard input.
#pragma once

#include <string>

namespace rq {

// The program's exit status (0 or more), or -1 when it could not be run or did not exit
// normally (killed by a signal).
int run_ask_program(const std::string& command, const std::string& question);

// Whether standard input is a terminal (where the operator's typing shows the answer).
bool stdin_on_terminal();

}  // namespace rq
