#include "tool/tool.h"

#include <cmath>
#include <cstring>

#include "link/status.h"

namespace rq {

Tool::Tool() {
  device.link.report = tool_link_report;
  device.link.report_context = this;
}

int tool_fail(Tool& t, int status, const char* step, int code, const std::string& text) {
  if (t.failure.status == kExitOk) {
    t.failure.status = status;
    t.failure.step = step;
    t.failure.code = code;
    t.failure.text = text;
  }
  if (t.text_errors) fprintf(t.err, "rqtool: %s\n", text.c_str());
  return status;
}

const char* step_name(Step step) {
  switch (step) {
    case Step::kNone: return "none";
    case Step::kCommand: return "command";
    case Step::kPayload: return "payload";
    case Step::kStatus: return "status";
    case Step::kReply: return "reply";
    case Step::kReduction: return "reduction";
    case Step::kData: return "data";
    case Step::kNextStatus: return "next-status";
    case Step::kSource: return "local";
  }
  return "status";
}

int device_fail(Tool& t, const std::string& what, const Result& r) {
  if (t.link_failed)
    return tool_fail(t, kExitLink, step_name(r.step), r.code, what + ": " + t.link_text);
  char detail[96];
  snprintf(detail, sizeof detail, ": %s (status %d)", status_text(r.code), r.code);
  return tool_fail(t, kExitDevice, step_name(r.step), r.code, what + detail);
}

void tool_link_report(void* context, const LinkEvent& e) {
  Tool& t = *static_cast<Tool*>(context);
  char text[160];
  switch (e.kind) {
    case LinkEventKind::kStartupFailed:
      snprintf(text, sizeof text, "the socket layer did not start (error %d)", e.error);
      break;
    case LinkEventKind::kNoSocket: snprintf(text, sizeof text, "cannot open a socket"); break;
    case LinkEventKind::kConnectFailed:
      snprintf(text, sizeof text, "cannot connect to the proxy at %s:%d", t.options.host.c_str(),
               t.options.port);
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
      snprintf(text, sizeof text, "no progress from the proxy within %g s",
               t.device.link.timeout_ms / 1000.0);
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
  // The first failure says what went wrong; later ones follow from it.
  if (!t.link_failed) t.link_text = text;
  t.link_failed = true;
}

int timeout_ms_for(double seconds) {
  if (seconds <= 0) return kLinkWaitForever;
  double ms = std::ceil(seconds * 1000.0);
  return ms > 2147483647.0 ? 2147483647 : static_cast<int>(ms);
}

}  // namespace rq
