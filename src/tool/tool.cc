#include "tool/tool.h"

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
  // The first failure says what went wrong; later ones follow from it.
  if (!t.link_failed) t.link_text = link_failure_text(e, t.options, t.device.link);
  t.link_failed = true;
}

}  // namespace rq
