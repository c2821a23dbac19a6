// One progress line on a terminal for long transfers: bytes done of total, percent, rate
// and time left, redrawn at most ten times a second and erased before the command prints
// anything of its own. Sessions without a progress stream (pipes, scripts, tests) get
// nothing at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace rq {

struct Progress {
  FILE* out = nullptr;  // nullptr: inactive
  int64_t total = 0;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point last_draw;
  bool drawn = false;
};

void progress_start(Progress& p, FILE* out, int64_t total);
void progress_update(Progress& p, int64_t done);
// Erases the line; call before the command's own output.
void progress_finish(Progress& p);

// The text of one progress line (no carriage return), for drawing and for tests.
int format_progress(char* buf, size_t size, int64_t done, int64_t total, double seconds);

}  // namespace rq
