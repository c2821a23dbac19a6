#include "shell/ping_command.h"

#include "shell/args.h"
#include "shell/failure_report.h"

namespace rq {

CommandOutcome report_ping(Shell& c, const PingResult& r) {
  if (r.result.step == Step::kCommand)
    return print_failure_report(c, r.result.code, "Ping command failed errcode = %d\n");
  if (!r.result.ok()) {
    fprintf(c.console_out, "Ping command out of sync = get %d expect %d\n", r.received, r.expected);
    return CommandOutcome::kLink;
  }
  return CommandOutcome::kOk;
}

CommandOutcome cmd_ping(Shell& c, const CommandText& command) {
  return report_ping(c, ping_device(c.device, *skip_blanks(command.args) == 'N'));
}

}  // namespace rq
