// The shell front end: command line, start-up probe, the read-dispatch loop, help.
#pragma once

#include "link/connection.h"

namespace rq {

// Runs the whole program: arguments as main() gets them. Returns the exit status
// (0 after q or end of console input, -1 for start-up failures).
int shell_main(Connection& c, int argc, char** argv);

// Reads and runs command lines from the current source until q or end of console input.
void run_command_loop(Connection& c);

// Matches one normalised, non-empty command line against the command table and runs it.
void dispatch_command(Connection& c, char* command);

void print_help(Connection& c);

// The command table's keyword that a line beginning with text (available characters long)
// runs, matched as dispatch_command matches it; nullptr when no table entry matches.
const char* dispatched_keyword(const char* text, size_t available);

// The command table's keywords in table order; nullptr past the last.
const char* command_keyword(size_t index);

}  // namespace rq
