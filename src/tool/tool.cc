#include "tool/tool.h"

#include "link/status.h"
#include "tool/printable.h"

namespace rq {

const char* fail_step_name(FailStep step) {
  switch (step) {
    case FailStep::kNone: return "none";
    case FailStep::kUsage: return "usage";
    case FailStep::kConnect: return "connect";
    case FailStep::kCommand: return "command";
    case FailStep::kPayload: return "payload";
    case FailStep::kStatus: return "status";
    case FailStep::kReply: return "reply";
    case FailStep::kReduction: return "reduction";
    case FailStep::kData: return "data";
    case FailStep::kNextStatus: return "next-status";
    case FailStep::kLocal: return "local";
    case FailStep::kVerify: return "verify";
    case FailStep::kTest: return "test";
    case FailStep::kCancel: return "cancel";
    case FailStep::kAnswer: return "answer";
    case FailStep::kSignal: return "signal";
  }
  return "command";
}

FailStep fail_step_for(Step step) {
  switch (step) {
    case Step::kNone: return FailStep::kNone;
    case Step::kCommand: return FailStep::kCommand;
    case Step::kPayload: return FailStep::kPayload;
    case Step::kStatus: return FailStep::kStatus;
    case Step::kReply: return FailStep::kReply;
    case Step::kReduction: return FailStep::kReduction;
    case Step::kData: return FailStep::kData;
    case Step::kNextStatus: return FailStep::kNextStatus;
    case Step::kSource: return FailStep::kLocal;
  }
  return FailStep::kStatus;
}

double Stopwatch::seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Stopwatch::milliseconds() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

int tool_fail(Tool& t, int status, FailStep step, int code, const std::string& text) {
  if (t.failure.status == kExitOk) t.failure = Failure{status, step, code, text};
  tool_warn(t, text);
  return status;
}

void tool_warn(Tool& t, const std::string& text) {
  if (t.text_errors) fprintf(t.err, "rqtool: %s\n", printable_line(text).c_str());
}

int usage_fail(Tool& t, const std::string& text) {
  return tool_fail(t, kExitUsage, FailStep::kUsage, 0, text);
}

int local_fail(Tool& t, int error, const std::string& text) {
  return tool_fail(t, kExitLocalFile, FailStep::kLocal, error, text);
}

int device_fail(Tool& t, const std::string& what, const Result& r) {
  FailStep step = fail_step_for(r.step);
  if (link_failed(t)) return tool_fail(t, kExitLink, step, r.code, what + ": " + link_text(t));
  char detail[96];
  snprintf(detail, sizeof detail, ": %s (status %d)", status_text(r.code), r.code);
  return tool_fail(t, kExitDevice, step, r.code, what + detail);
}

std::string link_text(const Tool& t) {
  return link_failure_text(t.device.link.failure, t.options, t.device.link);
}

}  // namespace rq
