#include "device/device.h"

#include <cstring>

namespace rq {

int send_frame(Device& d, const uint8_t* payload, size_t length, SentAs as) {
  return link_send_frame_as(d.link, payload, length, as.what, as.kind) < 0 ? kCodeLinkLost : 0;
}

int receive_frame(Device& d, uint8_t* dest, size_t capacity) {
  int n = link_receive_frame(d.link, dest, capacity);
  return n < 0 ? kCodeLinkLost : n;
}

int receive_frame_in_place(Device& d, const uint8_t** payload) {
  size_t length = 0;
  int n = link_next_frame(d.link, d.link.timeout_ms, payload, &length);
  return n < 0 ? kCodeLinkLost : n;
}

int receive_message(Device& d) {
  int n = receive_frame(d, d.message, kMessageBufferSize);
  if (n >= 0 && n < static_cast<int>(kMessageSize))
    std::memset(d.message + n, 0, kMessageSize - static_cast<size_t>(n));
  return n;
}

int ready_gated_send(Device& d, const uint8_t* payload, size_t length, SentAs as) {
  uint8_t ready[kMessageSize] = {};
  if (receive_frame(d, ready, sizeof ready) < 0) return kCodeLinkLost;
  int code = message_code(ready);
  if (code != 0) return code;
  // A send that fails has been reported by the link; the exchange's next receive fails too.
  send_frame(d, payload, length, as);
  return 0;
}

int send_command(Device& d, uint8_t code, uint8_t sub_code, int32_t value) {
  make_message(d.message, code, sub_code, value);
  return ready_gated_send(d, d.message, kMessageSize);
}

int receive_status(Device& d) {
  if (receive_message(d) < 0) return kCodeLinkLost;
  return message_code(d.message);
}

}  // namespace rq
