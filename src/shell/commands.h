// The command table: dispatch, help and the keywords that completion offers.
#pragma once

#include <cstddef>

#include "shell/shell.h"

namespace rq {

// Matches one normalised, non-empty command line against the command table and runs it.
// Returns what the handler returned (0 for help, -1 for an unknown command).
int dispatch_command(Shell& c, char* command);

void print_help(Shell& c);

// The command table's keyword that a line beginning with text (available characters long)
// runs, matched as dispatch_command matches it; nullptr when no table entry matches.
const char* dispatched_keyword(const char* text, size_t available);

// The command table's keywords in table order; nullptr past the last.
const char* command_keyword(size_t index);

}  // namespace rq
