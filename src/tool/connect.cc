#include "tool/connect.h"

#include "device/connect.h"

namespace rq {

void set_exchange_timeout(Tool& t, double min_seconds) {
  set_exchange_timeout(t.device, t.options, min_seconds);
}

int tool_connect(Tool& t) {
  // A tree copy runs many commands over the run's one connection.
  if (t.device.link.socket != kNoSocket) {
    set_exchange_timeout(t, 0);
    return 0;
  }
  ConnectFailure failure;
  int rc = connect_device(t.device, t.options, &failure);
  t.device.link.failed = false;  // a failure's text below says it all
  if (rc == 0) return 0;
  return tool_fail(t, kExitLink, FailStep::kConnect, 0, failure.text);
}

}  // namespace rq
