#include "transfer/rate_report.h"

#include <chrono>
#include <cstdio>

namespace rq {

namespace {
// The device tools have always computed with the single-precision number nearest to
// 0.001 (0.0010000000474974513); keeping it keeps their figures, e.g. 250 ms shows as
// 0.3 sec rather than 0.2.
constexpr double kMilli = static_cast<double>(0.001f);
}  // namespace

int64_t monotonic_ms() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

int format_rate_report(char* out, size_t capacity, int64_t count, int64_t elapsed_ms) {
  double elapsed =
      static_cast<double>(elapsed_ms / 1000) + static_cast<double>(elapsed_ms % 1000) * kMilli;
  double bytes = static_cast<double>(count);
  return snprintf(out, capacity, "Download %.1f KB %.1f sec %.1f KB/s\n", bytes / 1024, elapsed,
                  bytes / elapsed * kMilli);
}

void rate_report(Shell& c, int64_t count, int64_t elapsed_ms) {
  char line[128];
  format_rate_report(line, sizeof line, count, elapsed_ms);
  fputs(line, c.console_out);
}

}  // namespace rq
