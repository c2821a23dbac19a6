// Opening the run's one connection with the run's settings (device/connect.h): the lookup,
// the connect bounded by the time-out, the start-up probe, and with --wait the retries.
#pragma once

#include "tool/tool.h"

namespace rq {

// How long format and diag may keep the device busy (unless -t is given): minutes.
constexpr double kLongCommandSeconds = 300;

// Returns 0 (at once when the run is connected already), or kExitLink after reporting why
// the last try failed.
int tool_connect(Tool& t);

// Sets the link's time-out for the next exchanges: the -t value, or at least min_seconds
// when -t was not given (for commands the device may take long over).
void set_exchange_timeout(Tool& t, double min_seconds);

}  // namespace rq
