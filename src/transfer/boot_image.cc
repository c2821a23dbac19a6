#include "transfer/boot_image.h"

#include "shell/args.h"
#include "shell/failure_report.h"
#include "transfer/pc_file.h"
#include "transfer/transfer_args.h"
#include "transfer/transfer_view.h"

namespace rq {

int cmd_rb(Shell& c, char* command) {
  // Parsed straight into the payload area; the names are used before any data arrives.
  char* args = reinterpret_cast<char*>(payload_area(c.device));
  char* pc_file = nullptr;
  if (command_arguments(c, command, 2, args, kMaxPayload, &pc_file) < 0) return -1;
  int boot = boot_number(c, args);
  if (boot < 0) return -1;

  DownloadTarget target;
  if (open_pc_target(c, pc_file, target) != 0) return -1;

  TransferView view(c);
  DeviceEvents events = view.events();
  DataSink sink = download_target_sink(target);
  TransferResult t = read_boot_image(c.device, boot, sink, &events);
  if (t.result.step == Step::kData) print_fetch_failed(c);
  progress_finish(view.progress);
  if (t.result.step == Step::kData) return -1;  // the connection is gone
  // A refused rb reports with put's line; operators' scripts match it word for word.
  if (t.result.step == Step::kCommand)
    return print_failure_report(c, t.result.code, "put command failed rcv cmd errcode = %d\n");
  if (!t.result.ok())
    return print_failure_report(c, t.result.code, "rb command failed errcode = %d\n");
  return commit_pc_target(c, pc_file, target);
}

static const char* wb_failure_line(Step step) {
  switch (step) {
    case Step::kCommand: return "wb command failed rcv cmd errcode = %d\n";
    case Step::kReduction: return "wb command failed errcode = %d\n";
    default: return "wb command failed errcode(write data) = %d\n";
  }
}

int cmd_wb(Shell& c, char* command) {
  char args[kTransferArgumentsSize];
  char* pc_file = nullptr;
  if (command_arguments(c, command, 2, args, sizeof args, &pc_file) < 0) return -1;
  int boot = boot_number(c, args);
  if (boot < 0) return -1;

  LocalFile file;
  if (load_pc_file(c, pc_file, file) != 0) return -1;

  DataSource source = local_file_source(file);
  TransferView view(c);
  DeviceEvents events = view.events();
  TransferResult t = write_boot_image(c.device, boot, file.size, source, &events);
  progress_finish(view.progress);
  if (!t.result.ok()) return print_failure_report(c, t.result.code, wb_failure_line(t.result.step));
  return 0;
}

}  // namespace rq
