// The command table: dispatch, help and the keywords that completion offers.
#pragma once

#include <cstddef>

#include "shell/shell.h"

namespace rq {

// How a command ended, for a front end that acts on it (rqtool's scripts); the console loop
// ignores it. The first failure a command meets decides.
enum class CommandOutcome { kOk, kDevice, kUsage, kLink, kLocalFile };

// What the dispatcher hands the handler of the keyword a line begins with.
struct CommandText {
  char* args;        // the text after the keyword as typed, blanks not skipped; the handler
                     // may cut it up in place
  const char* line;  // the whole line, for the messages that quote it
};

using CommandHandler = CommandOutcome (*)(Shell& c, const CommandText& command);

// Matches one normalised, non-empty command line against the command table and runs it,
// handing the handler what follows the matched keyword. Returns how the command ended: the
// handler's outcome, kOk for help, kUsage for an unknown command, and kLink whenever the link
// failed meanwhile, also where the exchange went on regardless. The link's kept failure is
// cleared first, so that afterwards it tells what the link met during this command.
CommandOutcome dispatch_command(Shell& c, char* command);

void print_help(Shell& c);

// The command table's keyword that a line beginning with text (available characters long)
// runs, matched as dispatch_command matches it; nullptr when no table entry matches.
const char* dispatched_keyword(const char* text, size_t available);

// The command table's keywords in table order; nullptr past the last.
const char* command_keyword(size_t index);

}  // namespace rq
