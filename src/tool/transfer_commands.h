// put, get, boot read and boot write: one file (or boot image) each way. Files are
// streamed through fixed buffers in both directions, so memory stays flat at any size. A
// download goes to a temporary file beside the target, which replaces the target only when
// the transfer is complete; an interrupt removes it.
#pragma once

#include <cstdint>
#include <string>

#include "local/local_failure.h"
#include "tool/tool.h"

namespace rq {

struct TransferSummary {
  std::string what;  // "put", "get", "boot read", "boot write"
  std::string from, to;
  int64_t bytes = 0;
  double seconds = 0;
  bool verified = false;  // boot write: read back and compared
  bool verify_skipped = false;
  // Tree copies (put and get with -r or several sources): what was copied in all.
  bool tree = false;
  int64_t files = 0;
  int64_t directories = 0;
};

// Draws the run's progress line from a transfer's events; progress_finish(progress) erases
// it after the exchange.
struct ProgressView {
  Tool* tool = nullptr;
  Progress progress;

  DeviceEvents events();
  static void on_event(void* context, const DeviceEvent& e);
};

int tool_put(Tool& t, const std::string& local, const std::string& device_name, TransferSummary& s);
// local "-" writes to standard output.
int tool_get(Tool& t, const std::string& device_name, const std::string& local, TransferSummary& s);
int tool_boot_read(Tool& t, int boot, const std::string& local, TransferSummary& s);
int tool_boot_write(Tool& t, int boot, const std::string& local, bool verify, TransferSummary& s);

// A local file to send or compare that could not be opened (what begins the message: "put
// a.bin /a.bin"), with the platform's error number as the failure's code. Returns
// kExitLocalFile.
int local_source_fail(Tool& t, const std::string& what, const std::string& name,
                      const LocalFailure& f);

// The summary line on standard error (nothing with -q).
void print_transfer_summary(Tool& t, const TransferSummary& s);

}  // namespace rq
