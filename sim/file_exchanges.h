// The proxy's and device's side of the commands that act on the device file system
// without moving file data. Each play_ function is called once the command message
// has arrived (its ready already sent) with the message's sub-code and value, plays the rest
// of the exchange (doc/protocol.md) and returns 0, or a negative WireResult when it ended
// early.
#pragma once

#include <cstdint>

#include "session.h"

namespace rq::sim {

int play_ping(Session& s, uint8_t sub_code, int32_t value);
int play_format(Session& s, uint8_t sub_code, int32_t value);
int play_pwd(Session& s, uint8_t sub_code, int32_t value);
int play_ver(Session& s, uint8_t sub_code, int32_t value);
int play_cd(Session& s, uint8_t sub_code, int32_t value);
int play_mkdir(Session& s, uint8_t sub_code, int32_t value);
int play_rm(Session& s, uint8_t sub_code, int32_t value);
int play_launch(Session& s, uint8_t sub_code, int32_t value);
int play_ls(Session& s, uint8_t sub_code, int32_t value);
int play_mv(Session& s, uint8_t sub_code, int32_t value);
int play_cp(Session& s, uint8_t sub_code, int32_t value);

// For commands that send names after their command message: sends the ready, receives the
// frame into s.text and checks that it holds `names` zero-terminated names (1 or 2) filling
// exactly the `announced` bytes. Returns 0 with *status set: 0 when the device is to act on
// the names, else the status to answer in its place (5 wrong layout, 30 a zero inside a
// path, or what preempting_status gives, which may be negative). Returns a negative
// WireResult when the exchange ends here; an announced length no frame can have is refused
// at the ready with code 5.
int receive_names(Session& s, int32_t announced, int names, int* status);

// The second of two names in s.text.
const char* second_name(const Session& s);

}  // namespace rq::sim
