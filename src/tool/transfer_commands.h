// put, get, boot read and boot write: one file (or boot image) each way. Files are
// streamed through fixed buffers in both directions, so memory stays flat at any size. A
// download goes to a temporary file beside the target, which replaces the target only when
// the transfer is complete; an interrupt removes it.
#pragma once

#include <cstdint>
#include <string>

#include "local/local_failure.h"
#include "local/stream.h"
#include "tool/tool.h"

namespace rq {

// The commands that move or compare a file's data, as the summaries name them.
enum class TransferKind : uint8_t { kPut, kGet, kBootRead, kBootWrite, kVerify, kBootVerify };

// "put", "get", "boot read", "boot write", "verify", "boot verify".
const char* transfer_kind_name(TransferKind kind);

// How a transfer or a comparison ended: moved (ok), compared equal, found a difference, or
// failed otherwise.
enum class TransferOutcome : uint8_t { kOk, kEqual, kDiffers, kFailed };
const char* transfer_outcome_name(TransferOutcome outcome);

// files and bytes count what was completely delivered, and nothing of a file that failed
// part-way: a file counts, with all its bytes, once the device confirmed a put, a boot
// image's last chunk went out, or a download was whole and in place; for verify and boot
// verify, once the device's copy was read and compared to its end. A read-back that then
// differs leaves the delivered file counted (the outcome says it differs).
struct TransferSummary {
  TransferKind kind = TransferKind::kPut;
  std::string from, to;
  int64_t files = 0;
  int64_t bytes = 0;
  double seconds = 0;
  bool verified = false;  // boot write: read back and compared
  bool verify_skipped = false;
  // Tree copies (put and get with -r or several sources): the directories made too.
  bool tree = false;
  int64_t directories = 0;
};

// One file delivered whole, with its bytes.
inline void count_delivered(TransferSummary& s, int64_t bytes) {
  ++s.files;
  s.bytes += bytes;
}

// The outcome of a transfer that ended with status.
TransferOutcome transfer_outcome(const TransferSummary& s, int status);

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

// boot read, boot write and boot verify: image N (1 to 3) and a local file.
struct BootArgs {
  int boot = 0;
  std::string local;
  bool no_verify = false;  // boot write: do not read the image back
};
int tool_boot_read(Tool& t, const BootArgs& a, TransferSummary& s);
int tool_boot_write(Tool& t, const BootArgs& a, TransferSummary& s);

// A local file to send or compare that could not be opened (what begins the message: "put
// a.bin /a.bin"), with the platform's error number as the failure's code. Returns
// kExitLocalFile.
int local_source_fail(Tool& t, const std::string& what, const std::string& name,
                      const LocalFailure& f);

// Opens a local file to send (what begins a failure's message). Besides what
// local_source_fail reports, refuses a file too large to send and one announced empty that
// yields bytes all the same (the files under /proc): an empty file sends no chunk whose
// checks would find it. Returns kExitOk or the failure's status.
int open_send_source(Tool& t, const std::string& what, const std::string& local, StreamSource& s);

}  // namespace rq
