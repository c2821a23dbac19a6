// The proxy's and device's side of put and get. Each play_ function is called once the command
// message has arrived (its ready already sent) with the message's sub-code and value, plays the
// rest of the exchange (doc/protocol.md) and returns 0, or a negative WireResult when it ended
// early.
#pragma once

#include <cstdint>

#include "session.h"

namespace rq::sim {

int play_put(Session& s, uint8_t sub_code, int32_t value);
int play_get(Session& s, uint8_t sub_code, int32_t value);

// Announces size in a status message, then streams the open file in frames of kChunkSize,
// with a status between chunks when status_between is set (boot images). A file that turns
// out shorter than announced drops the link: the shell cannot be told in step.
int send_file_frames(Session& s, int fd, int64_t size, bool status_between, const char* what);

}  // namespace rq::sim
