#include "device/connect.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "device/ping.h"
#include "link/socket_resolve.h"

namespace rq {

namespace {

constexpr int kRetryMs = 500;

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Stands in for the owner's report hook while connecting: keeps the first failure.
struct Recorder {
  const ConnectSettings* settings;
  const Link* link;
  bool failed = false;
  LinkEventKind kind = LinkEventKind::kClosed;
  std::string text;
};

void record(void* context, const LinkEvent& e) {
  auto& r = *static_cast<Recorder*>(context);
  if (!r.failed) {
    r.text = link_failure_text(e, *r.settings, *r.link);
    r.kind = e.kind;
  }
  r.failed = true;
}

// Why the start-up ping failed. A proxy that took the connection and then sent not a byte
// within the time-out is, most often, serving another client: say so rather than leave the
// user guessing at "no progress".
std::string probe_failure_text(const Recorder& r, const ConnectSettings& s, const Link& l) {
  if (r.kind != LinkEventKind::kTimedOut || link_mid_frame(l)) return "start-up ping: " + r.text;
  char text[256];
  snprintf(text, sizeof text,
           "the proxy at %s:%d accepted the connection but did not answer the start-up ping "
           "within %g s: a proxy serves one client at a time, so another client may hold it",
           s.host.c_str(), s.port, l.timeout_ms / 1000.0);
  return text;
}

// One try: 0, or -1 with the reason in *why.
int try_once(Device& d, const char* address, int port, Recorder& r, ConnectFailure* why) {
  r.failed = false;
  r.text.clear();
  d.ping_counter = 0;
  if (link_connect(d.link, address, port) != 0) {
    *why = ConnectFailure{ConnectStep::kConnect, r.text};
    return -1;
  }
  ProbeResult probe = startup_probe(d);
  if (probe.ok()) return 0;
  why->step = ConnectStep::kProbe;
  if (r.failed) {
    why->text = probe_failure_text(r, *r.settings, d.link);
  } else {
    char text[96];
    snprintf(text, sizeof text, "start-up ping out of sync (got %d, expected %d)",
             probe.ping.received, probe.ping.expected);
    why->text = text;
  }
  link_close(d.link);
  return -1;
}

}  // namespace

std::string port_problem(const std::string& text) {
  // strtoll with base 0, the whole text taken: what the option has always accepted.
  char* end = nullptr;
  long long value = text.empty() ? 0 : strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end || value < kLowestPort || value > kHighestPort)
    return "Value " + text + " not in range " + std::to_string(kLowestPort) + " to " +
           std::to_string(kHighestPort);
  return "";
}

std::string seconds_problem(const std::string& text) {
  char* end = nullptr;
  double d = strtod(text.c_str(), &end);
  if (end == text.c_str() || *end || !(d >= 0) || d > kMostSeconds)
    return "wants a number of seconds from 0 to 1000000, not " + text;
  return "";
}

int timeout_ms_for(double seconds) {
  if (seconds <= 0) return kLinkWaitForever;
  double ms = std::ceil(seconds * 1000.0);
  return ms > 2147483647.0 ? 2147483647 : static_cast<int>(ms);
}

void set_exchange_timeout(Device& d, const ConnectSettings& s, double min_seconds) {
  double seconds = s.timeout_s;
  if (!s.timeout_given && seconds < min_seconds) seconds = min_seconds;
  d.link.timeout_ms = timeout_ms_for(seconds);
}

std::string link_failure_text(const LinkEvent& e, const ConnectSettings& s, const Link& l) {
  char text[160] = "";
  switch (e.kind) {
    case LinkEventKind::kStartupFailed:
      snprintf(text, sizeof text, "the socket layer did not start (error %d)", e.error);
      break;
    case LinkEventKind::kNoSocket: snprintf(text, sizeof text, "cannot open a socket"); break;
    case LinkEventKind::kConnectFailed:
      snprintf(text, sizeof text, "cannot connect to the proxy at %s:%d", s.host.c_str(), s.port);
      break;
    case LinkEventKind::kSendFailed:
      snprintf(text, sizeof text, "sending to the proxy failed: %s", strerror(e.error));
      break;
    case LinkEventKind::kRecvFailed:
      snprintf(text, sizeof text, "receiving from the proxy failed: %s", strerror(e.error));
      break;
    case LinkEventKind::kClosed:
      snprintf(text, sizeof text, "the proxy closed the connection");
      break;
    case LinkEventKind::kTimedOut:
      snprintf(text, sizeof text, "no progress from the proxy within %g s", l.timeout_ms / 1000.0);
      break;
    case LinkEventKind::kOversize:
      snprintf(text, sizeof text, "the proxy sent a frame of %zu bytes (at most %zu allowed)",
               e.length, kMaxPayload);
      break;
    case LinkEventKind::kTooLong:
      snprintf(text, sizeof text, "the proxy sent %zu bytes where at most %zu fit", e.length,
               e.capacity);
      break;
  }
  return text;
}

int connect_device(Device& d, const ConnectSettings& s, ConnectFailure* failure) {
  socket_startup();
  char address[64];
  if (socket_resolve_ipv4(s.host.c_str(), address, sizeof address) != 0) {
    *failure = ConnectFailure{ConnectStep::kResolve, "cannot find the address of host " + s.host};
    return -1;
  }
  set_exchange_timeout(d, s, 0);
  Recorder recorder{&s, &d.link, false, LinkEventKind::kClosed, ""};
  LinkReport owner_report = d.link.report;
  void* owner_context = d.link.report_context;
  d.link.report = record;
  d.link.report_context = &recorder;
  int64_t give_up = now_ms() + static_cast<int64_t>(s.wait_s * 1000.0);
  int rc = -1;
  for (;;) {
    int64_t started = now_ms();
    if (try_once(d, address, s.port, recorder, failure) == 0) {
      rc = 0;
      break;
    }
    int64_t next = started + kRetryMs;
    if (next > give_up) break;
    int64_t now = now_ms();
    if (next > now) std::this_thread::sleep_for(std::chrono::milliseconds(next - now));
  }
  d.link.report = owner_report;
  d.link.report_context = owner_context;
  return rc;
}

}  // namespace rq
