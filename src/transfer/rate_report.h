// The line printed after put and get: size, elapsed time and rate of a transfer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shell/shell.h"

namespace rq {

// Milliseconds on a clock that never goes back (unlike the calendar clock at midnight or
// when the time is set), for timing a transfer.
int64_t monotonic_ms();

// Formats "Download <KB> KB <sec> sec <rate> KB/s\n" into out (truncated to capacity) and
// returns the length printf reports. The size is in 1024-byte units while the rate is in
// 1000-byte units per second; "Download" is the word for uploads too. An elapsed time of
// 0 prints whatever the platform prints for a division by zero.
int format_rate_report(char* out, size_t capacity, int64_t count, int64_t elapsed_ms);

// Prints that line on the console.
void rate_report(Shell& c, int64_t count, int64_t elapsed_ms);

}  // namespace rq
