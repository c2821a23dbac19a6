// The proxy's and device's side of each command's exchange (doc/protocol.md describes each
// exchange and rqsim's choices). Each is called once the command
// message has arrived (its ready already sent) with the message's sub-code and value, plays
// the rest of the exchange and returns 0, or a negative WireResult when it ended early.
#pragma once

#include <cstdint>

#include "session.h"

namespace rq::sim {

using Exchange = int (*)(Session& s, uint8_t sub_code, int32_t value);

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
int play_put(Session& s, uint8_t sub_code, int32_t value);
int play_get(Session& s, uint8_t sub_code, int32_t value);
int play_rb(Session& s, uint8_t sub_code, int32_t value);
int play_wb(Session& s, uint8_t sub_code, int32_t value);
int play_diag(Session& s, uint8_t sub_code, int32_t value);

// For commands that send names after their command message: sends the ready, receives the
// frame into s.text and checks that it holds `names` zero-terminated names (1 or 2) filling
// exactly the `announced` bytes. Returns 0 when it does, a positive status code to answer
// when it does not (5 wrong layout, 30 a zero inside a path), or a negative WireResult. An
// announced length no frame can have is refused at the ready with code 5.
int receive_names(Session& s, int32_t announced, int names);

// Announces size in a status message, then streams the open file in frames of kChunkSize,
// with a status between chunks when status_between is set (boot images). A file that turns
// out shorter than announced drops the link: the shell cannot be told in step.
int send_file_frames(Session& s, int fd, int64_t size, bool status_between, const char* what);

// The second of two names in s.text.
const char* second_name(const Session& s);

}  // namespace rq::sim
