// Command and status messages, the ready rule, status texts and the failure report.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/connection.h"

namespace rq {

// The text for a device status code; the code is read as a signed 8-bit number.
const char* status_text(int code);

// Prints "ERROR: <text> \n" and then line_format (which has one %d) with code.
void print_failure_report(Connection& c, int code, const char* line_format);

// Waits for the proxy's ready message and sends one frame only if its code is 0.
// Returns 0 when sent, the (signed) refusing code, or -1 when no ready message arrived.
int ready_gated_send(Connection& c, const uint8_t* payload, size_t length);

// Builds the command message in c.message and sends it through ready_gated_send.
int send_command(Connection& c, uint8_t code, uint8_t sub_code, int32_t value);

// Receives a status message into c.message. Returns its (signed) code, or -1 when none
// could be received (reported like a status of -1, so the command ends as failed).
int receive_status(Connection& c);

}  // namespace rq
