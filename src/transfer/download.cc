// get: fetches a device file. The proxy announces the size in its status message and then
// sends data frames of any length up to a chunk until that many bytes have come.
#include <cstring>

#include "link/link.h"
#include "link/message.h"
#include "shell/args.h"
#include "transfer/download_target.h"
#include "transfer/progress.h"
#include "transfer/rate_report.h"
#include "transfer/transfer.h"
#include "transfer/transfer_args.h"

namespace rq {

int cmd_get(Connection& c, char* command) {
  // The device name is parsed straight into the payload area it is sent from.
  char* args = reinterpret_cast<char*>(payload_area(c));
  char* pc_file = nullptr;
  if (command_arguments(c, command, 3, args, kMaxPayload, &pc_file) < 0) return -1;
  const char* dx_file = args;

  DownloadTarget target;
  if (open_download_target(c, pc_file, target) != 0) return -1;

  size_t name_length = strlen(dx_file) + 1;
  int code = send_command(c, kCmdGet, 0, static_cast<int32_t>(name_length));
  if (code != 0) {
    print_failure_report(c, code, "put command failed rcv cmd errcode = %d\n");
    abandon_download_target(target);
    return code;
  }
  code = ready_gated_send(c, payload_area(c), name_length);
  if (code == 0) code = receive_status(c);
  if (code != 0) {
    print_failure_report(c, code, "put command failed errcode = %d\n");
    abandon_download_target(target);
    return code;
  }

  const int32_t size = message_value(c.message);
  int64_t start = monotonic_ms();
  int64_t received = 0;
  Progress progress;
  progress_start(progress, c, size);
  while (received < size) {
    int n = receive_frame(c, payload_area(c), kMaxPayload);
    if (n <= 0) {
      erase_progress_line(c);
      fprintf(c.console_out, "get command failed(fetch data)\n");
    }
    // Nothing more can come over a failed connection; the target keeps what it held.
    if (n < 0) {
      progress_finish(progress);
      abandon_download_target(target);
      return -1;
    }
    write_download_target(target, payload_area(c), static_cast<size_t>(n));
    received += n;
    progress_update(progress, received);
  }
  progress_finish(progress);
  int64_t elapsed = monotonic_ms() - start;
  if (commit_download_target(c, target) != 0) return -1;
  rate_report(c, size, elapsed);
  return 0;
}

}  // namespace rq
