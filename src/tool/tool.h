// One rqtool run: its options, the device connection, where results and messages go, and
// the failure the run ended with. Commands do their exchanges through the device library,
// keep what they found in their own result structs, and leave presenting to the caller, so
// that another presenter (machine-readable output) can stand beside the text one.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "device/connect.h"
#include "device/device.h"
#include "local/progress.h"

namespace rq {

// The process exit statuses; docs and tests rely on these numbers.
enum ExitStatus : int {
  kExitOk = 0,
  kExitDevice = 1,     // the device refused a step or answered a non-zero status
  kExitUsage = 2,      // unknown option or command, missing or bad argument
  kExitLink = 3,       // cannot connect, connection lost, time-out, bad frame, ping out of sync
  kExitLocalFile = 4,  // a local file cannot be opened, read or written, or changed while sent
  kExitVerify = 5,     // what was read back differs from what was written
  kExitCancelled = 6,  // diag: the operator cancelled the test
};

// Where the run's first failure happened (error.step in the JSON object).
enum class FailStep : uint8_t {
  kNone,  // a device result that failed without naming its step
  kUsage,
  kConnect,  // the proxy could not be reached
  // The exchange's steps (device.h): the one the device refused or the link failed in.
  kCommand,
  kPayload,
  kStatus,
  kReply,
  kReduction,
  kData,
  kNextStatus,
  kLocal,   // a local file
  kVerify,  // a difference
  // diag: the test failed, was cancelled, or no answer came.
  kTest,
  kCancel,
  kAnswer,
  kSignal,  // SIGINT, SIGTERM or SIGHUP ended the run (its report rendered ahead)
};

// The step's name for the presenters: "usage", "next-status", ...
const char* fail_step_name(FailStep step);

// The failure step of a device exchange's step (kSource, the local source, is kLocal).
FailStep fail_step_for(Step step);

// The connection's settings, and rqtool's own.
struct ToolOptions : ConnectSettings {
  bool quiet = false;
};

// The first failure of the run. A status without a recorded step reads as kCommand.
struct Failure {
  int status = kExitOk;
  FailStep step = FailStep::kCommand;
  int code = 0;  // the device's status, or the platform's error number
  std::string text;
};

// Time since it was made, for the summaries and the round trips.
struct Stopwatch {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double seconds() const;
  double milliseconds() const;
};

struct Tool {
  Tool() = default;
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;

  ToolOptions options;
  Device device;       // the run's one connection
  FILE* out = stdout;  // results
  FILE* err = stderr;  // errors, progress and summaries
  FILE* trace = nullptr;
  ProgressLine progress;  // drawn on standard error when it is a terminal and -q was not given
  // Failures are printed as "rqtool: text" lines as they happen; a presenter that reports
  // them its own way (machine-readable output) turns this off and reads `failure`.
  bool text_errors = true;
  std::string command;  // the command's name ("ping", "boot write"), once parsed
  Failure failure;
  // --json: one JSON object on standard output says how the run ended; text results go
  // to standard error instead. json_written: the command's presenter has written it.
  bool json = false;
  bool json_written = false;
};

// Records the failure (the first one wins), prints "rqtool: <text>" on standard error (its
// names' control bytes escaped, printable.h) and returns status, so that a failure site is
// one line.
int tool_fail(Tool& t, int status, FailStep step, int code, const std::string& text);

// A warning that does not end the run: "rqtool: <text>" on standard error, escaped as
// tool_fail escapes it, unless the run's errors go out as JSON only.
void tool_warn(Tool& t, const std::string& text);

// The two most common failures: a usage error found by a command (status 2), and a local
// file's failure with the platform's error number (status 4, 0 where no call failed).
int usage_fail(Tool& t, const std::string& text);
int local_fail(Tool& t, int error, const std::string& text);

// A device operation's failed result for what (e.g. "mkdir /logs"): a link failure (the link
// met one) ends with status 3, anything else with 1 naming the status text and code.
int device_fail(Tool& t, const std::string& what, const Result& r);

// Whether the link failed since the run connected (or since the current script command
// began), and what it met first, in the words of device/connect.h.
inline bool link_failed(const Tool& t) { return t.device.link.failed; }
std::string link_text(const Tool& t);

}  // namespace rq
