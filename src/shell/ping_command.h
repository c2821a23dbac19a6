#pragma once

#include "shell/shell.h"

namespace rq {

// The `ping` command. "ping N" (any blanks, upper-case N) sends without waiting for a
// ready message; the start-up probe runs it that way.
int ping(Shell& c, char* command);

}  // namespace rq
