// rb and wb: read and write the device's boot images 1 to 3. The boot number travels in the
// sub-code. A read takes a status message after every chunk but the last; a write waits for
// a ready message before every chunk, and for boots 2 and 3 shortens its first chunk by a
// reduction the proxy announces. Neither prints a rate report.
#include "link/link.h"
#include "link/message.h"
#include "shell/args.h"
#include "transfer/download_target.h"
#include "transfer/local_file.h"
#include "transfer/progress.h"
#include "transfer/transfer.h"
#include "transfer/transfer_args.h"

namespace rq {

namespace {

// Reported when the proxy announces a reduction that leaves no valid first chunk.
constexpr int kCodeInvalidParameter = 5;

// Receives the image after the size status; returns 0 when all of it was read.
int receive_boot_image(Connection& c, DownloadTarget& target, int32_t size, Progress& progress) {
  int64_t received = 0;
  while (received < size) {
    int n = receive_frame(c, payload_area(c), kMaxPayload);
    if (n <= 0) {
      erase_progress_line(c);
      fprintf(c.console_out, "get command failed(fetch data)\n");
    }
    if (n < 0) return -1;  // the connection is gone: nothing more will come
    write_download_target(target, payload_area(c), static_cast<size_t>(n));
    if (received + n < size) {
      int code = receive_status(c);
      if (code != 0) {
        print_failure_report(c, code, "rb command failed errcode = %d\n");
        return code;
      }
    }
    received += n;
    progress_update(progress, received);
  }
  return 0;
}

int send_boot_image(Connection& c, const LocalFile& file, int32_t reduction, Progress& progress) {
  const size_t size = static_cast<size_t>(file.size);
  size_t offset = 0;
  size_t room = kChunkSize - static_cast<size_t>(reduction);
  while (offset < size) {
    size_t length = size - offset <= room ? size - offset : room;
    int code = ready_gated_send(c, file.data + offset, length);
    if (code != 0) {
      print_failure_report(c, code, "wb command failed errcode(write data) = %d\n");
      return code;
    }
    offset += length;
    room = kChunkSize;
    progress_update(progress, static_cast<int64_t>(offset));
  }
  return 0;
}

}  // namespace

int cmd_rb(Connection& c, char* command) {
  // Parsed straight into the payload area; the names are used before any data arrives.
  char* args = reinterpret_cast<char*>(payload_area(c));
  char* pc_file = nullptr;
  if (command_arguments(c, command, 2, args, kMaxPayload, &pc_file) < 0) return -1;
  int boot = boot_number(c, args);
  if (boot < 0) return -1;

  DownloadTarget target;
  if (open_download_target(c, pc_file, target) != 0) return -1;

  int code = send_command(c, kCmdReadBoot, static_cast<uint8_t>(boot), 0);
  if (code != 0) {
    print_failure_report(c, code, "put command failed rcv cmd errcode = %d\n");
    abandon_download_target(target);
    return code;
  }
  code = receive_status(c);
  if (code != 0) {
    print_failure_report(c, code, "rb command failed errcode = %d\n");
    abandon_download_target(target);
    return code;
  }
  const int32_t size = message_value(c.message);
  Progress progress;
  progress_start(progress, c, size);
  code = receive_boot_image(c, target, size, progress);
  progress_finish(progress);
  if (code != 0) {
    abandon_download_target(target);
    return code;
  }
  return commit_download_target(c, target);
}

int cmd_wb(Connection& c, char* command) {
  char args[kTransferArgumentsSize];
  char* pc_file = nullptr;
  if (command_arguments(c, command, 2, args, sizeof args, &pc_file) < 0) return -1;
  int boot = boot_number(c, args);
  if (boot < 0) return -1;

  LocalFile file;
  if (load_local_file(c, pc_file, file) != 0) return -1;

  int code = send_command(c, kCmdWriteBoot, static_cast<uint8_t>(boot), file.size);
  if (code != 0) {
    print_failure_report(c, code, "wb command failed rcv cmd errcode = %d\n");
    free_local_file(file);
    return code;
  }
  int32_t reduction = 0;
  if (boot != 1) {
    code = receive_status(c);
    reduction = message_value(c.message);
    // A reduction outside 0..16383 leaves no first chunk that a frame could carry.
    if (code == 0 && (reduction < 0 || reduction >= static_cast<int32_t>(kChunkSize)))
      code = kCodeInvalidParameter;
    if (code != 0) {
      print_failure_report(c, code, "wb command failed errcode = %d\n");
      free_local_file(file);
      return code;
    }
  }
  Progress progress;
  progress_start(progress, c, file.size);
  code = send_boot_image(c, file, reduction, progress);
  progress_finish(progress);
  free_local_file(file);
  return code;
}

}  // namespace rq
