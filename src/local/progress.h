// One progress line on a terminal for long transfers: bytes done of total, percent, rate
// and time left, first drawn after a moment (short transfers show none), redrawn at most
// ten times a second, and erased before the front end prints anything of its own. Where
// the terminal knows no erase sequence, blanks wipe the line instead. A line with no stream
// (pipes, scripts, tests, a quiet run) draws nothing at all.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace rq {

// Width of the blanks that erase a progress line where the terminal knows no erase sequence:
// wider than any progress line, within 80 columns.
constexpr int kProgressBlankWidth = 78;

// The terminal line itself, owned by the front end's session: text it prints in the middle
// of a transfer (a lost connection, a failure report) erases the line first.
struct ProgressLine {
  FILE* out = nullptr;  // nullptr: nobody watches
  bool blanks = false;  // the terminal knows no erase sequence: overwrite with blanks
  bool shown = false;   // a progress line is on the screen right now
};

// Draws on standard error when it is a terminal, readied for the erase sequence
// (platform.h); otherwise the line stays without a stream.
void progress_on_stderr(ProgressLine& line);

// Erases a shown line, leaving the cursor at the start of a clean line.
void erase_progress_line(ProgressLine& line);

// One transfer's meter on a line.
struct Progress {
  ProgressLine* line = nullptr;  // nullptr: inactive
  int64_t total = 0;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point last_draw;
};

// Starts a meter for total bytes; inactive when the line has no stream.
void progress_start(Progress& p, ProgressLine& line, int64_t total);
// Called after every chunk; costs one pointer test when inactive and one clock reading
// between redraws. After text printed in the middle erased the line, the next update
// draws it again.
void progress_update(Progress& p, int64_t done);
// Erases the line and ends the meter; call before the command's own output.
void progress_finish(Progress& p);

// The text of one progress line (no carriage return), for drawing and for tests.
int format_progress(char* buf, size_t size, int64_t done, int64_t total, double seconds);

}  // namespace rq
