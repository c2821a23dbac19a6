// The exchange the path commands share (cd, mkdir, rm, launch, and ls before its reply), and
// mv and cp with their two names as the payload: ready, command message, ready, payload,
// status message.
#pragma once

#include <cstdint>

#include "link/connection.h"

namespace rq {

// Each command's own failure line (one %d) for each step that can fail. The lines
// differ per command and per step, and the operator's scripts match them word for word.
struct PathFailureLines {
  const char* command_refused;  // the ready message before the command message was not 0
  const char* path_refused;     // the ready message before the path was not 0
  const char* bad_status;       // the status was not 0, or could not be received
};

constexpr int kCommandFailed = -1;

// Sends the command message (code, value = path_wire_length) and then the path's
// path_wire_length bytes, its zero included, each after a ready message, and receives the
// status into c.message. Returns 0 on a status of 0; otherwise prints the failure report
// with the step's line and returns kCommandFailed.
int path_exchange(Connection& c, uint8_t code, const char* path, int path_wire_length,
                  const PathFailureLines& lines);

}  // namespace rq
