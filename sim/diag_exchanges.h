// The proxy's and device's side of diag. Each play_ function is called once the command message
// has arrived (its ready already sent) with the message's sub-code and value, plays the rest
// of the exchange (doc/protocol.md) and returns 0, or a negative WireResult when it ended
// early.
#pragma once

#include <cstdint>

#include "session.h"

namespace rq::sim {

int play_diag(Session& s, uint8_t sub_code, int32_t value);

}  // namespace rq::sim
