// The failure lines of the commands built on the path exchange (cd, mkdir, rm, launch, ls,
// mv, cp): each command has its own line (one %d) for each step that can fail. The lines
// differ per command and per step, and the operator's scripts match them word for word.
#pragma once

#include "device/device.h"
#include "shell/shell.h"

namespace rq {

struct PathFailureLines {
  const char* command_refused;  // the ready message before the command message was not 0
  const char* path_refused;     // the ready message before the path was not 0
  const char* bad_status;       // the status was not 0, could not be received, or (ls) the
                                // reply did not arrive
};

constexpr int kCommandFailed = -1;

// 0 for a good result; otherwise prints the failure report with the step's line and
// returns kCommandFailed.
int report_path_result(Shell& c, const Result& r, const PathFailureLines& lines);

}  // namespace rq
