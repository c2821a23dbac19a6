// The transfers at the console: put and get move a file, rb and wb a boot image (1 to 3);
// while data moves the progress line is drawn, and put and get end with the rate report.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/commands.h"
#include "shell/shell.h"

namespace rq {

CommandOutcome cmd_put(Shell& c, const CommandText& command);
CommandOutcome cmd_get(Shell& c, const CommandText& command);
CommandOutcome cmd_rb(Shell& c, const CommandText& command);
CommandOutcome cmd_wb(Shell& c, const CommandText& command);

// Formats the rate report, "Download <KB> KB <sec> sec <rate> KB/s\n", into out (truncated
// to capacity) and returns the length printf reports. The size is in 1024-byte units while
// the rate is in 1000-byte units per second; "Download" is the word for uploads too. An
// elapsed time of 0 prints whatever the platform prints for a division by zero.
int format_rate_report(char* out, size_t capacity, int64_t count, int64_t elapsed_ms);

}  // namespace rq
