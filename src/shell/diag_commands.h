// The `diag` command: the device's self-tests and their console questions.
#pragma once

#include "shell/commands.h"
#include "shell/shell.h"

namespace rq {

CommandOutcome cmd_diag(Shell& c, const CommandText& command);

}  // namespace rq
