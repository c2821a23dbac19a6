// Opening the mount's connection to the proxy: the host looked up, the connect bounded by the
// time-out, and the start-up probe (a proxy that speaks within the probe's wait keeps its
// message for the first command; otherwise a ping goes out without waiting for a ready, and
// its reply must come back in sync). The same steps as rqtool's connect.
// TODO(mount): device/connect.h takes this over once it has landed.
#pragma once

#include <string>

#include "device/device.h"

namespace rq::mount {

struct ConnectSettings {
  std::string host = "127.0.0.1";
  int port = kDefaultProxyPort;
  int timeout_ms = 0;  // each step of an exchange; 0 waits for ever
};

// One try. Returns 0 with d connected, or -1 with the reason in *why (d closed).
int connect_once(Device& d, const ConnectSettings& s, std::string* why);

// Tries every 0.5 s until one succeeds or wait_s has passed. Returns 0 or -1 (*why: the last
// try's reason).
int connect_waiting(Device& d, const ConnectSettings& s, double wait_s, std::string* why);

}  // namespace rq::mount
