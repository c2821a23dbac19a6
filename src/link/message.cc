#include "link/message.h"

#include "link/link.h"

namespace rq {

const char* status_text(int code) {
  switch (static_cast<int8_t>(code)) {
    case 0: return "shell command succeeded";
    case 1: return "usb bus error";
    case 2: return "unknown file system error";
    case 3: return "access failed";
    case 4: return "file corrupted";
    case 5: return "invalid parameter";
    case 6: return "file system not ready yet";
    case 7: return "file already exists";
    case 8: return "ran out of inodes";
    case 9: return "file does not exist";
    case 30: return "invalid path";
    case 31: return "file path is too long";
    case 100: return "command failed";
    default: return "invalid error code";
  }
}

void print_failure_report(Connection& c, int code, const char* line_format) {
  erase_progress_line(c);
  fprintf(c.console_out, "ERROR: %s \n", status_text(code));
  fprintf(c.console_out, line_format, code);
}

int ready_gated_send(Connection& c, const uint8_t* payload, size_t length) {
  uint8_t ready[kMessageSize] = {};
  if (receive_frame(c, ready, sizeof ready) < 0) return -1;
  int code = message_code(ready);
  if (code != 0) return code;
  send_frame(c, payload, length);
  return 0;
}

int send_command(Connection& c, uint8_t code, uint8_t sub_code, int32_t value) {
  make_message(c.message, code, sub_code, value);
  return ready_gated_send(c, c.message, kMessageSize);
}

int receive_status(Connection& c) {
  if (receive_message(c) < 0) return -1;
  return message_code(c.message);
}

}  // namespace rq
