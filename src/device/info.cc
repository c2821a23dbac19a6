#include "device/info.h"

#include <cstring>

namespace rq {

static Result command_and_status(Device& d, uint8_t code) {
  int rc = send_command(d, code, 0, 0);
  if (rc != 0) return failed_at(Step::kCommand, rc);
  rc = receive_status(d);
  if (rc != 0) return failed_at(Step::kStatus, rc);
  return Result{};
}

Result format_device(Device& d) { return command_and_status(d, kCmdFormat); }

Result read_text(Device& d, uint8_t code, TextReply* reply) {
  Result r = command_and_status(d, code);
  if (!r.ok()) return r;
  int n = receive_frame(d, d.message, kMessageBufferSize);
  if (n < 0) return failed_at(Step::kReply, kCodeLinkLost);
  reply->text = reinterpret_cast<const char*>(d.message);
  reply->length = static_cast<int>(strnlen(reply->text, static_cast<size_t>(n)));
  return Result{};
}

}  // namespace rq
