// One progress line on a terminal for long transfers: bytes done of total, percent, rate
// and time left, redrawn at most ten times a second and erased before the command prints
// anything of its own. Sessions without a progress stream (pipes, scripts, tests) get
// nothing at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "shell/shell.h"

namespace rq {

struct Progress {
  Shell* session = nullptr;  // nullptr: inactive
  int64_t total = 0;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point last_draw;
};

// Starts a meter for total bytes on the session's progress stream; inactive without one.
void progress_start(Progress& p, Shell& c, int64_t total);
// Called after every chunk; costs one pointer test when inactive and one clock reading
// between redraws.
void progress_update(Progress& p, int64_t done);
// Erases the line and ends the meter; call before the command's own output. Console text
// printed in the middle of a transfer (a link failure, a failure report) erases the line
// by itself (erase_progress_line), and the next update draws it again.
void progress_finish(Progress& p);

// The text of one progress line (no carriage return), for drawing and for tests.
int format_progress(char* buf, size_t size, int64_t done, int64_t total, double seconds);

}  // namespace rq
