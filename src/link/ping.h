#pragma once

#include "link/connection.h"

namespace rq {

// The `ping` command. "ping N" (any blanks, upper-case N) sends without waiting for a
// ready message; the start-up probe runs it that way.
int ping(Connection& c, char* command);

}  // namespace rq
