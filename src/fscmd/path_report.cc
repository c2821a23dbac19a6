#include "fscmd/path_report.h"

#include "shell/failure_report.h"

namespace rq {

int report_path_result(Shell& c, const Result& r, const PathFailureLines& lines) {
  if (r.ok()) return 0;
  const char* line = r.step == Step::kCommand   ? lines.command_refused
                     : r.step == Step::kPayload ? lines.path_refused
                                                : lines.bad_status;
  print_failure_report(c, r.code, line);
  return kCommandFailed;
}

}  // namespace rq
