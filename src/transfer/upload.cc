// put: sends a local file to the device. The proxy paces the data with grants: one before
// chunks 0, 2, 4, ..., each admitting that chunk and the next, so the second chunk of a pair
// goes out without a wait.
#include <cstring>

#include "link/link.h"
#include "link/message.h"
#include "shell/args.h"
#include "transfer/local_file.h"
#include "transfer/progress.h"
#include "transfer/rate_report.h"
#include "transfer/transfer.h"
#include "transfer/transfer_args.h"

namespace rq {

namespace {

constexpr size_t kSizeFieldLength = 4;

// Streams the file after the put payload has been accepted; the proxy ends with a status.
int send_file_data(Connection& c, const LocalFile& file, Progress& progress) {
  const size_t size = static_cast<size_t>(file.size);
  size_t chunk = 0;
  for (size_t offset = 0; offset < size; offset += kChunkSize, ++chunk) {
    if (chunk % 2 == 0) {
      int code = receive_status(c);
      if (code != 0) {
        print_failure_report(c, code, "put command failed errcode(write data) = %d\n");
        return code;
      }
    }
    size_t length = size - offset < kChunkSize ? size - offset : kChunkSize;
    // A frame cut short leaves the proxy out of step with everything that would follow.
    if (send_frame(c, file.data + offset, length) != 0) {
      print_failure_report(c, -1, "put command failed errcode(write data) = %d\n");
      return -1;
    }
    progress_update(progress, static_cast<int64_t>(offset + length));
  }
  int code = receive_status(c);
  if (code != 0) {
    print_failure_report(c, code, "put command failed errcode(write data) = %d\n");
    return code;
  }
  return 0;
}

}  // namespace

int cmd_put(Connection& c, char* command) {
  char args[kTransferArgumentsSize];
  char* dx_file = nullptr;
  if (command_arguments(c, command, 3, args, sizeof args, &dx_file) < 0) return -1;
  const char* pc_file = args;

  // The whole file is in memory before the proxy hears of it, so the size announced and
  // the bytes sent cannot disagree.
  LocalFile file;
  if (load_local_file(c, pc_file, file) != 0) return -1;

  size_t name_length = strlen(dx_file);
  uint8_t payload[kSizeFieldLength + kTransferArgumentsSize];
  put_le32(payload, file.size);
  memcpy(payload + kSizeFieldLength, dx_file, name_length + 1);
  size_t payload_length = kSizeFieldLength + name_length + 1;

  int code = send_command(c, kCmdPut, 0, static_cast<int32_t>(payload_length));
  if (code != 0) {
    print_failure_report(c, code, "put command failed rcv cmd errcode = %d\n");
    free_local_file(file);
    return code;
  }
  code = ready_gated_send(c, payload, payload_length);
  if (code != 0) {
    print_failure_report(c, code, "put command failed errcode = %d\n");
    free_local_file(file);
    return code;
  }

  const int32_t size = file.size;
  int64_t start = monotonic_ms();
  Progress progress;
  progress_start(progress, c, size);
  code = send_file_data(c, file, progress);
  progress_finish(progress);
  free_local_file(file);
  if (code != 0) return code;
  rate_report(c, size, monotonic_ms() - start);
  return 0;
}

}  // namespace rq
