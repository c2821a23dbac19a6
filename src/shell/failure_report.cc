#include "shell/failure_report.h"

#include "link/status.h"

namespace rq {

CommandOutcome print_failure_report(Shell& c, int code, const char* line_format) {
  erase_progress_line(c.progress);
  fprintf(c.console_out, "ERROR: %s \n", status_text(code));
  fprintf(c.console_out, line_format, code);
  return code == kCodeLinkLost ? CommandOutcome::kLink : CommandOutcome::kDevice;
}

void report_link_event(void* context, const LinkEvent& e) {
  Shell& c = *static_cast<Shell*>(context);
  FILE* out = c.console_out;
  // Connecting happens before any transfer; the rest may interrupt one.
  switch (e.kind) {
    case LinkEventKind::kStartupFailed: fprintf(out, "WSAStartup() failed: %d\n", e.error); return;
    case LinkEventKind::kNoSocket: fprintf(out, "ERROR: Cannot open AF_INET socket\n"); return;
    case LinkEventKind::kConnectFailed:
      fprintf(out, "Cannot connect to DX proxy program\n");
      return;
    default: break;
  }
  erase_progress_line(c.progress);
  switch (e.kind) {
    case LinkEventKind::kSendFailed:
      fprintf(out, "ERROR: socket send failed errno=%d\n", e.error);
      break;
    case LinkEventKind::kRecvFailed:
      fprintf(out, "ERROR: socket recv failed errno=%d\n", e.error);
      break;
    case LinkEventKind::kClosed:
      fprintf(out, "ERROR: DX proxy program closed the connection\n");
      break;
    case LinkEventKind::kOversize:
      fprintf(out, "ERROR: DX proxy sent a frame of %zu bytes (at most %zu allowed)\n", e.length,
              kMaxPayload);
      break;
    case LinkEventKind::kTooLong:
      fprintf(out, "ERROR: DX proxy sent %zu bytes where at most %zu fit\n", e.length, e.capacity);
      break;
    default: break;  // the shell waits for ever: no time-outs
  }
}

}  // namespace rq
