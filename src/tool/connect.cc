#include "tool/connect.h"

#include <chrono>

#include "device/ping.h"
#include "link/socket_resolve.h"
#include "tool/platform.h"

namespace rq {

namespace {

constexpr int kStartupWaitMs = 20;
constexpr int kRetryMs = 500;

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One try: 0, or the reason it failed in *why.
int try_once(Tool& t, const char* address, std::string* why) {
  Device& d = t.device;
  t.link_failed = false;
  t.link_text.clear();
  d.ping_counter = 0;
  if (link_connect(d.link, address, t.options.port) != 0) {
    *why = t.link_text;
    return -1;
  }
  if (link_wait_readable(d.link, kStartupWaitMs)) return 0;
  PingResult p = ping_device(d, true);
  if (p.result.ok()) return 0;
  if (t.link_failed) {
    *why = "start-up ping: " + t.link_text;
  } else {
    char text[96];
    snprintf(text, sizeof text, "start-up ping out of sync (got %d, expected %d)", p.received,
             p.expected);
    *why = text;
  }
  link_close(d.link);
  return -1;
}

}  // namespace

void set_exchange_timeout(Tool& t, double min_seconds) {
  double seconds = t.options.timeout_s;
  if (!t.options.timeout_given && seconds < min_seconds) seconds = min_seconds;
  t.device.link.timeout_ms = timeout_ms_for(seconds);
}

int tool_connect(Tool& t) {
  // A tree copy runs many commands over the run's one connection.
  if (t.device.link.socket != kNoSocket) {
    set_exchange_timeout(t, 0);
    return 0;
  }
  socket_startup();
  char address[64];
  if (socket_resolve_ipv4(t.options.host.c_str(), address, sizeof address) != 0)
    return tool_fail(t, kExitLink, "connect", 0,
                     "cannot find the address of host " + t.options.host);
  set_exchange_timeout(t, 0);
  int64_t give_up = now_ms() + static_cast<int64_t>(t.options.wait_s * 1000.0);
  std::string why;
  for (;;) {
    int64_t started = now_ms();
    if (try_once(t, address, &why) == 0) {
      t.link_failed = false;
      return 0;
    }
    int64_t next = started + kRetryMs;
    if (next > give_up) break;
    int64_t now = now_ms();
    if (next > now) pause_ms(static_cast<int>(next - now));
  }
  t.link_failed = false;  // the text below says it all
  return tool_fail(t, kExitLink, "connect", 0, why);
}

}  // namespace rq
