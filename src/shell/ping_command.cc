#include "shell/ping_command.h"

#include "shell/failure_report.h"

namespace rq {

int report_ping(Shell& c, const PingResult& r) {
  if (r.result.step == Step::kCommand)
    return print_failure_report(c, r.result.code, "Ping command failed errcode = %d\n");
  if (!r.result.ok()) {
    note_outcome(c, CommandOutcome::kLink);
    fprintf(c.console_out, "Ping command out of sync = get %d expect %d\n", r.received, r.expected);
    return -1;
  }
  return 0;
}

int ping(Shell& c, char* command) {
  const char* p = command + 4;
  while (*p == ' ' || *p == '\t') ++p;
  return report_ping(c, ping_device(c.device, *p == 'N'));
}

}  // namespace rq
