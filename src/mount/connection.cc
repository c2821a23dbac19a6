#include "mount/connection.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device/ping.h"
#include "link/socket_resolve.h"

namespace rq::mount {

namespace {

constexpr int kRetryMs = 500;

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Keeps the link's first failure as text.
struct LinkWords {
  std::string text;
};

void remember(void* context, const LinkEvent& e) {
  auto& w = *static_cast<LinkWords*>(context);
  if (!w.text.empty()) return;
  switch (e.kind) {
    case LinkEventKind::kConnectFailed: w.text = "connection refused"; break;
    case LinkEventKind::kTimedOut: w.text = "no answer within the time-out"; break;
    case LinkEventKind::kClosed: w.text = "the proxy closed the connection"; break;
    default: w.text = e.error ? strerror(e.error) : "link failure"; break;
  }
}

}  // namespace

int connect_once(Device& d, const ConnectSettings& s, std::string* why) {
  char address[64];
  std::string where = s.host + ":" + std::to_string(s.port);
  if (socket_resolve_ipv4(s.host.c_str(), address, sizeof address) != 0) {
    *why = "cannot find the address of host " + s.host;
    return -1;
  }
  LinkWords words;
  LinkReport saved_report = d.link.report;
  void* saved_context = d.link.report_context;
  d.link.report = remember;
  d.link.report_context = &words;
  d.link.timeout_ms = s.timeout_ms;
  d.ping_counter = 0;
  int rc = 0;
  if (link_connect(d.link, address, s.port) != 0) {
    *why = "cannot connect to " + where + ": " + words.text;
    rc = -1;
  } else if (!link_wait_readable(d.link, kStartupProbeWaitMs)) {
    PingResult p = ping_device(d, true);
    if (!p.result.ok()) {
      *why = words.text.empty() ? "the start-up ping at " + where + " came back out of sync"
                                : "start-up ping at " + where + ": " + words.text;
      link_close(d.link);
      rc = -1;
    }
  }
  d.link.report = saved_report;
  d.link.report_context = saved_context;
  return rc;
}

int connect_waiting(Device& d, const ConnectSettings& s, double wait_s, std::string* why) {
  int64_t give_up = now_ms() + static_cast<int64_t>(wait_s * 1000.0);
  for (;;) {
    int64_t started = now_ms();
    if (connect_once(d, s, why) == 0) return 0;
    int64_t next = started + kRetryMs;
    if (next > give_up) return -1;
    int64_t now = now_ms();
    if (next > now) std::this_thread::sleep_for(std::chrono::milliseconds(next - now));
  }
}

}  // namespace rq::mount
