// The exchange of the commands that send a path or two names after their command message
// (cd, mkdir, rm, launch, ls, mv, cp): ready, command message, ready, payload, status.
#pragma once

#include <cstdint>

#include "device/device.h"

namespace rq {

// Sends the command message (code, value = wire_length) and then wire_length bytes of
// payload (a path with its zero, or old, 0, new, 0), each after a ready message, and
// receives the status into d.message. Steps: kCommand, kPayload, kStatus.
Result path_exchange(Device& d, uint8_t code, const char* payload, int wire_length);

}  // namespace rq

namespace rq {

// path_exchange for one path given as text: sends it with its zero. A path that does not fit
// a frame fails at kCommand with kStatusPathTooLong before anything is sent.
Result path_command(Device& d, uint8_t code, const char* path);

// path_exchange for mv and cp: the payload old, 0, new, 0. Names that do not fit a frame fail
// at kCommand with kStatusPathTooLong before anything is sent.
Result two_path_command(Device& d, uint8_t code, const char* from, const char* to);

}  // namespace rq
