// One rqtool run: its options, the device connection, where results and messages go, and
// the failure the run ended with. Commands do their exchanges through the device library,
// keep what they found in their own result structs, and leave presenting to the caller, so
// that another presenter (machine-readable output) can stand beside the text one.
#pragma once

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

// The connection's settings, and rqtool's own.
struct ToolOptions : ConnectSettings {
  bool quiet = false;
};

// The first failure of the run. step names where it happened: "usage", "connect", "probe",
// "command", "payload", "status", "reply", "reduction", "data", "next-status", "local",
// "verify"; diag adds "test" (the test failed), "cancel" and "answer" (no answer came).
struct Failure {
  int status = kExitOk;
  std::string step;
  int code = 0;  // the device's status, or the platform's error number
  std::string text;
};

struct Tool {
  Tool();
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;

  ToolOptions options;
  Device device;       // the run's one connection
  FILE* out = stdout;  // results
  FILE* err = stderr;  // errors, progress and summaries
  FILE* trace = nullptr;
  ProgressLine progress;     // drawn on standard error when it is a terminal and -q was not given
  bool link_failed = false;  // the link reported a failure; link_text says what
  std::string link_text;
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

// Records the failure (the first one wins), prints "rqtool: <text>" on standard error and
// returns status, so that a failure site is one line.
int tool_fail(Tool& t, int status, const char* step, int code, const std::string& text);

// A device operation's failed result for what (e.g. "mkdir /logs"): a link failure (the link
// reported one) ends with status 3, anything else with 1 naming the status text and code.
int device_fail(Tool& t, const std::string& what, const Result& r);

// The step's name for a device result.
const char* step_name(Step step);

// The link's report hook for a tool run (context: the Tool).
void tool_link_report(void* context, const LinkEvent& event);

}  // namespace rq
