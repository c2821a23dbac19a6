#include "transfer/download.h"

#include "shell/args.h"
#include "shell/failure_report.h"
#include "transfer/pc_file.h"
#include "transfer/rate_report.h"
#include "transfer/transfer_view.h"

namespace rq {

int cmd_get(Shell& c, char* command) {
  // The device name is parsed straight into the payload area it is sent from.
  char* args = reinterpret_cast<char*>(payload_area(c.device));
  char* pc_file = nullptr;
  if (command_arguments(c, command, 3, args, kMaxPayload, &pc_file) < 0) return -1;
  const char* dx_file = args;

  DownloadTarget target;
  if (open_pc_target(c, pc_file, target) != 0) return -1;

  TransferView view(c);
  DeviceEvents events = view.events();
  DataSink sink = download_target_sink(target);
  TransferResult t = get_file(c.device, dx_file, sink, &events);
  // Nothing more can come over a failed connection; the target keeps what it held.
  if (t.result.step == Step::kData) print_fetch_failed(c);
  progress_finish(view.progress);
  if (t.result.step == Step::kData) return -1;
  if (t.result.step == Step::kCommand)
    return print_failure_report(c, t.result.code, "put command failed rcv cmd errcode = %d\n");
  if (!t.result.ok())
    return print_failure_report(c, t.result.code, "put command failed errcode = %d\n");
  int64_t elapsed = monotonic_ms() - view.data_start_ms;
  if (commit_pc_target(c, pc_file, target) != 0) return -1;
  rate_report(c, t.size, elapsed);
  return 0;
}

}  // namespace rq
