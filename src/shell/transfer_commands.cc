#include "shell/transfer_commands.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/file_transfer.h"
#include "local/download_target.h"
#include "local/platform.h"
#include "local/progress.h"
#include "local/whole_file.h"
#include "shell/args.h"
#include "shell/failure_report.h"

namespace rq {

namespace {

// The device tools have always computed with the single-precision number nearest to
// 0.001 (0.0010000000474974513); keeping it keeps their figures, e.g. 250 ms shows as
// 0.3 sec rather than 0.2.
constexpr double kMilli = static_cast<double>(0.001f);

// Milliseconds on a clock that never goes back (unlike the calendar clock at midnight or
// when the time is set), for timing a transfer.
int64_t monotonic_ms() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

void rate_report(Shell& c, int64_t count, int64_t elapsed_ms) {
  char line[128];
  format_rate_report(line, sizeof line, count, elapsed_ms);
  fputs(line, c.console_out);
}

// The boot number as the device tools always read it (atoi, so a word gives 0). Prints the
// invalid-boot line and returns -1 unless it is 1, 2 or 3.
int boot_number(Shell& c, const char* text) {
  int boot = atoi(text);
  if (boot < 1 || boot > 3) {
    fprintf(c.console_out, "Invalid boot %d (DX only has 1, 2, 3) \n", boot);
    return -1;
  }
  return boot;
}

// A transfer's two arguments as parsed. put and get name the PC file first and the device
// file second; rb and wb the boot first and the PC file second.
struct TransferArguments {
  char text[kArgumentsCapacity];  // first, 0, second, 0
  char* second = nullptr;         // into text
};

// 0, or -1 after the usage line.
int parse_transfer_arguments(Shell& c, const CommandText& command, TransferArguments& a) {
  return command_arguments(c, command.args, a.text, sizeof a.text, &a.second) < 0 ? -1 : 0;
}

// rb's and wb's: the boot number, or -1 after the usage line or the invalid-boot line.
int parse_boot_arguments(Shell& c, const CommandText& command, TransferArguments& a) {
  if (parse_transfer_arguments(c, command, a) < 0) return -1;
  return boot_number(c, a.text);
}

// Printed when a data frame comes empty (the download goes on) and when one is lost.
void print_fetch_failed(Shell& c) {
  erase_progress_line(c.progress);
  fprintf(c.console_out, "get command failed(fetch data)\n");
}

// What the console shows while a transfer runs: the progress line, the start of the timing
// for the rate report, and the line for an empty data frame. It turns a device operation's
// events into console output, in the order they happen.
struct TransferView {
  explicit TransferView(Shell& shell) : c(shell) {}
  Shell& c;
  Progress progress;
  int64_t data_start_ms = 0;  // when the data phase began
  DeviceEvents events() { return DeviceEvents{this, on_event}; }

  static void on_event(void* context, const DeviceEvent& e) {
    auto& v = *static_cast<TransferView*>(context);
    switch (e.kind) {
      case DeviceEventKind::kDataBegin:
        v.data_start_ms = monotonic_ms();
        progress_start(v.progress, v.c.progress, e.value);
        break;
      case DeviceEventKind::kProgress: progress_update(v.progress, e.value); break;
      case DeviceEventKind::kEmptyFrame: print_fetch_failed(v.c); break;
    }
  }
};

// The shell's PC files (local/): a file put and wb load whole, and the target get and rb
// download into. Each call takes the name as the operator typed it, and when the local side
// fails prints the shell's one line naming it and returns -1.

// Loads pc_file whole. 0, or -1 after "Cannot open PC file %s\n" or a line saying why it
// cannot be read, is too large, or does not fit in memory.
int load_pc_file(Shell& c, const char* pc_file, LocalFile& file) {
  LocalFailure f = load_local_file(local_name(pc_file), file);
  if (f.ok()) return 0;
  FILE* out = c.console_out;
  auto size = static_cast<uintmax_t>(f.size);
  switch (f.failed) {
    case LocalFailed::kTooLarge:
      fprintf(out, "PC file %s is too large: %ju bytes, at most %ju can be sent\n", pc_file, size,
              static_cast<uintmax_t>(kMaxSendableFileSize));
      break;
    case LocalFailed::kNoMemory:
      fprintf(out, "Not enough memory to hold PC file %s (%ju bytes)\n", pc_file, size);
      break;
    case LocalFailed::kSize:
    case LocalFailed::kRead:
      if (f.error)
        fprintf(out, "Cannot read PC file %s: %s\n", pc_file, strerror(f.error));
      else
        fprintf(out, "Cannot read PC file %s: only %zu of %ju bytes could be read\n", pc_file,
                static_cast<size_t>(f.done), size);
      break;
    default: fprintf(out, "Cannot open PC file %s\n", pc_file); break;
  }
  return -1;
}

// Readies pc_file as a download target. 0, or -1 after "Cannot open PC file %s\n".
int open_pc_target(Shell& c, const char* pc_file, DownloadTarget& target) {
  if (open_download_target(target, local_name(pc_file)).ok()) return 0;
  fprintf(c.console_out, "Cannot open PC file %s\n", pc_file);
  return -1;
}

// Moves the finished download into place. 0, or -1 after the line saying what failed.
int commit_pc_target(Shell& c, const char* pc_file, DownloadTarget& target) {
  LocalFailure f = commit_download_target(target);
  if (f.ok()) return 0;
  const char* verb = f.failed == LocalFailed::kReplace ? "replace" : "write";
  fprintf(c.console_out, "Cannot %s PC file %s: %s\n", verb, pc_file, strerror(f.error));
  return -1;
}

// What a transfer moves on the device's side: a file (put, get) or a boot image (wb, rb).
struct DeviceSide {
  const char* dx_file = nullptr;
  int boot = 0;
};

const char* put_failure_line(Step step) {
  switch (step) {
    case Step::kCommand: return "put command failed rcv cmd errcode = %d\n";
    case Step::kPayload: return "put command failed errcode = %d\n";
    default: return "put command failed errcode(write data) = %d\n";
  }
}

const char* wb_failure_line(Step step) {
  switch (step) {
    case Step::kCommand: return "wb command failed rcv cmd errcode = %d\n";
    case Step::kReduction: return "wb command failed errcode = %d\n";
    default: return "wb command failed errcode(write data) = %d\n";
  }
}

// put and wb: pc_file loaded whole and sent, each failure reported with its command's line;
// put ends with the rate report.
CommandOutcome upload(Shell& c, const char* pc_file, const DeviceSide& to) {
  // The whole file is in memory before the proxy hears of it, so the size announced and
  // the bytes sent cannot disagree.
  LocalFile file;
  if (load_pc_file(c, pc_file, file) != 0) return CommandOutcome::kLocalFile;

  DataSource source = local_file_source(file);
  TransferView view(c);
  DeviceEvents events = view.events();
  TransferResult t = to.dx_file ? put_file(c.device, to.dx_file, file.size, source, &events)
                                : write_boot_image(c.device, to.boot, file.size, source, &events);
  progress_finish(view.progress);
  if (!t.result.ok()) {
    Step step = t.result.step;
    return print_failure_report(c, t.result.code,
                                to.dx_file ? put_failure_line(step) : wb_failure_line(step));
  }
  if (to.dx_file) rate_report(c, t.size, monotonic_ms() - view.data_start_ms);
  return CommandOutcome::kOk;
}

// get and rb: a download into pc_file's target, which is put in place only once the whole
// download has arrived; get ends with the rate report. A refusal of either reports with
// put's line, and a bad status of get too: operators' scripts match them word for word.
CommandOutcome download(Shell& c, const DeviceSide& from, const char* pc_file) {
  DownloadTarget target;
  if (open_pc_target(c, pc_file, target) != 0) return CommandOutcome::kLocalFile;

  TransferView view(c);
  DeviceEvents events = view.events();
  DataSink sink = download_target_sink(target);
  TransferResult t = from.dx_file ? get_file(c.device, from.dx_file, sink, &events)
                                  : read_boot_image(c.device, from.boot, sink, &events);
  // Nothing more can come over a failed connection; the target keeps what it held.
  if (t.result.step == Step::kData) print_fetch_failed(c);
  progress_finish(view.progress);
  if (t.result.step == Step::kData) return CommandOutcome::kLink;
  if (t.result.step == Step::kCommand)
    return print_failure_report(c, t.result.code, "put command failed rcv cmd errcode = %d\n");
  if (!t.result.ok())
    return print_failure_report(
        c, t.result.code,
        from.dx_file ? "put command failed errcode = %d\n" : "rb command failed errcode = %d\n");
  int64_t elapsed = monotonic_ms() - view.data_start_ms;
  if (commit_pc_target(c, pc_file, target) != 0) return CommandOutcome::kLocalFile;
  if (from.dx_file) rate_report(c, t.size, elapsed);
  return CommandOutcome::kOk;
}

}  // namespace

int format_rate_report(char* out, size_t capacity, int64_t count, int64_t elapsed_ms) {
  double elapsed =
      static_cast<double>(elapsed_ms / 1000) + static_cast<double>(elapsed_ms % 1000) * kMilli;
  double bytes = static_cast<double>(count);
  return snprintf(out, capacity, "Download %.1f KB %.1f sec %.1f KB/s\n", bytes / 1024, elapsed,
                  bytes / elapsed * kMilli);
}

CommandOutcome cmd_put(Shell& c, const CommandText& command) {
  TransferArguments a;
  if (parse_transfer_arguments(c, command, a) < 0) return CommandOutcome::kUsage;
  return upload(c, a.text, DeviceSide{a.second, 0});
}

CommandOutcome cmd_get(Shell& c, const CommandText& command) {
  TransferArguments a;
  if (parse_transfer_arguments(c, command, a) < 0) return CommandOutcome::kUsage;
  return download(c, DeviceSide{a.text, 0}, a.second);
}

CommandOutcome cmd_rb(Shell& c, const CommandText& command) {
  TransferArguments a;
  int boot = parse_boot_arguments(c, command, a);
  if (boot < 0) return CommandOutcome::kUsage;
  return download(c, DeviceSide{nullptr, boot}, a.second);
}

CommandOutcome cmd_wb(Shell& c, const CommandText& command) {
  TransferArguments a;
  int boot = parse_boot_arguments(c, command, a);
  if (boot < 0) return CommandOutcome::kUsage;
  return upload(c, a.second, DeviceSide{nullptr, boot});
}

}  // namespace rq
