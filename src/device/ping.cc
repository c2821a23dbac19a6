#include "device/ping.h"

namespace rq {

PingResult ping_device(Device& d, bool without_ready) {
  PingResult p;
  make_message(d.message, kCmdPing, 0, d.ping_counter);
  int code = without_ready ? send_frame(d, d.message, kMessageSize)
                           : ready_gated_send(d, d.message, kMessageSize);
  if (code != 0) {
    p.result = failed_at(Step::kCommand, code);
    return p;
  }
  receive_message(d);
  d.ping_counter = static_cast<int32_t>(static_cast<uint32_t>(d.ping_counter) + 1);
  p.received = message_value(d.message);
  p.status = message_code(d.message);
  p.expected = d.ping_counter;
  if (p.received != p.expected) p.result = failed_at(Step::kReply, kCodeLinkLost);
  return p;
}

ProbeResult startup_probe(Device& d) {
  ProbeResult probe;
  if (link_wait_readable(d.link, kStartupProbeWaitMs)) return probe;
  probe.pinged = true;
  probe.ping = ping_device(d, true);
  return probe;
}

}  // namespace rq
