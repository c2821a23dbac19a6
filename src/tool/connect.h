// Opening the run's one connection: the address lookup, the connect (bounded by the
// time-out), and the start-up probe rqshell makes (a proxy that speaks within 20 ms keeps
// its message for the first command; otherwise a ping goes out without waiting for a
// ready, and its reply must come back in sync). With --wait, failed tries are repeated
// every 0.5 s until the wait is over.
#pragma once

#include "tool/tool.h"

namespace rq {

// Returns 0 (at once when the run is connected already), or kExitLink after reporting why
// the last try failed.
int tool_connect(Tool& t);

// Sets the link's time-out for the next exchanges: the -t value, or at least min_seconds
// when -t was not given (for commands the device may take long over).
void set_exchange_timeout(Tool& t, double min_seconds);

}  // namespace rq
