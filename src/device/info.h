// format, pwd and ver: a bare command message and a status; pwd and ver then read one text
// reply.
#pragma once

#include "device/device.h"

namespace rq {

// Steps: kCommand, kStatus.
Result format_device(Device& d);

struct TextReply {
  const char* text = nullptr;  // in d.message, valid until the next exchange
  int length = 0;              // up to its zero, or to the frame's end without one
};

// The current directory (kCmdPwd) or the build text (kCmdVer). Steps: kCommand, kStatus,
// kReply. The status value announces the reply's length, but the frame's own header
// decides what arrives.
Result read_text(Device& d, uint8_t code, TextReply* reply);

}  // namespace rq
