#include "transfer/upload.h"

#include "shell/args.h"
#include "shell/failure_report.h"
#include "transfer/pc_file.h"
#include "transfer/rate_report.h"
#include "transfer/transfer_args.h"
#include "transfer/transfer_view.h"

namespace rq {

static const char* put_failure_line(Step step) {
  switch (step) {
    case Step::kCommand: return "put command failed rcv cmd errcode = %d\n";
    case Step::kPayload: return "put command failed errcode = %d\n";
    default: return "put command failed errcode(write data) = %d\n";
  }
}

int cmd_put(Shell& c, char* command) {
  char args[kTransferArgumentsSize];
  char* dx_file = nullptr;
  if (command_arguments(c, command, 3, args, sizeof args, &dx_file) < 0) return -1;
  const char* pc_file = args;

  // The whole file is in memory before the proxy hears of it, so the size announced and
  // the bytes sent cannot disagree.
  LocalFile file;
  if (load_pc_file(c, pc_file, file) != 0) return -1;

  DataSource source = local_file_source(file);
  TransferView view(c);
  DeviceEvents events = view.events();
  TransferResult t = put_file(c.device, dx_file, file.size, source, &events);
  progress_finish(view.progress);
  if (!t.result.ok())
    return print_failure_report(c, t.result.code, put_failure_line(t.result.step));
  rate_report(c, file.size, monotonic_ms() - view.data_start_ms);
  return 0;
}

}  // namespace rq
