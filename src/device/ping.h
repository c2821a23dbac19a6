// ping: the command message carries the counter, the reply's value must be the counter + 1.
#pragma once

#include "device/device.h"

namespace rq {

struct PingResult {
  Result result;         // kCommand: refused or not sent; kReply: a reply out of sync
  int32_t received = 0;  // the reply's value
  int32_t expected = 0;  // the counter after this ping
  // The reply's status code. Only the value decides whether the round trip succeeded: the
  // shell's ping and the start-up probe never look at it; rqtool's ping does.
  int status = 0;
};

// One round trip. without_ready sends the command message without waiting for a ready
// message (the start-up probe). A lost reply leaves the ping's own message in d.message, so
// it reads as out of sync with the value sent; the counter moves on either way once the
// message went out.
PingResult ping_device(Device& d, bool without_ready);

// The start-up probe, right after connecting: a proxy that speaks within kStartupProbeWaitMs
// keeps its message for the first command, and nothing is sent; a silent one is pinged
// without waiting for a ready message.
struct ProbeResult {
  bool pinged = false;  // the proxy stayed silent and the ping went out
  PingResult ping;      // how it went, when pinged
  bool ok() const { return !pinged || ping.result.ok(); }
};
ProbeResult startup_probe(Device& d);

}  // namespace rq
