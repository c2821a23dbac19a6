#pragma once

#include "device/ping.h"
#include "shell/commands.h"
#include "shell/shell.h"

namespace rq {

// The `ping` command. "ping N" (any blanks, upper-case N) sends without waiting for a
// ready message, as the start-up probe does.
CommandOutcome cmd_ping(Shell& c, const CommandText& command);

// Prints how a ping went (nothing when it came back in sync); the start-up probe's ping is
// reported the same way. Returns how the ping ended.
CommandOutcome report_ping(Shell& c, const PingResult& r);

}  // namespace rq
