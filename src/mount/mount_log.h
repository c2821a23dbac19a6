// The mount's messages: one line each, with the time of day, to the log file (in the
// background) or standard error (in the foreground). Lines from every thread go out whole.
#pragma once

#include <cstdio>
#include <mutex>

namespace rq::mount {

struct MountLog {
  FILE* out = stderr;
  FILE* also = nullptr;  // a second destination (stderr for the stop's last words)
  std::mutex mutex;
};

void log_line(MountLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace rq::mount
