#include "local/progress.h"

#include "local/platform.h"

namespace rq {

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Transfers shorter than this finish before a line would help; drawing it would only flicker.
constexpr auto kFirstDrawAfter = std::chrono::milliseconds(300);

void format_bytes(char* buf, size_t size, double bytes) {
  if (bytes >= 1024.0 * 1024.0)
    snprintf(buf, size, "%.1f MiB", bytes / (1024.0 * 1024.0));
  else
    snprintf(buf, size, "%.1f KiB", bytes / 1024.0);
}
}  // namespace

int format_progress(char* buf, size_t size, int64_t done, int64_t total, double seconds) {
  char done_text[32], total_text[32], rate_text[32];
  format_bytes(done_text, sizeof done_text, static_cast<double>(done));
  format_bytes(total_text, sizeof total_text, static_cast<double>(total));
  double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  format_bytes(rate_text, sizeof rate_text, rate);
  int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  if (rate > 0 && done < total) {
    long left = static_cast<long>(static_cast<double>(total - done) / rate + 0.5);
    return snprintf(buf, size, "%s of %s  %3d%%  %s/s  %ld:%02ld left", done_text, total_text,
                    percent, rate_text, left / 60, left % 60);
  }
  return snprintf(buf, size, "%s of %s  %3d%%  %s/s", done_text, total_text, percent, rate_text);
}

void progress_on_stderr(ProgressLine& line) {
  if (!stderr_is_terminal()) return;
  line.out = stderr;
  line.blanks = !stderr_enable_line_erase();
}

void erase_progress_line(ProgressLine& line) {
  if (!line.shown) return;
  if (line.blanks)
    fprintf(line.out, "\r%*s\r", kProgressBlankWidth, "");
  else
    fputs("\r\033[K", line.out);
  fflush(line.out);
  line.shown = false;
}

void progress_start(Progress& p, ProgressLine& line, int64_t total) {
  p.line = line.out ? &line : nullptr;
  p.total = total;
  p.start = Clock::now();
  p.last_draw = p.start;
}

void progress_update(Progress& p, int64_t done) {
  if (!p.line) return;
  Clock::time_point now = Clock::now();
  if (now - p.start < kFirstDrawAfter || now - p.last_draw < kRedrawInterval) return;
  p.last_draw = now;
  char text[128];
  double seconds = std::chrono::duration<double>(now - p.start).count();
  format_progress(text, sizeof text, done, p.total, seconds);
  ProgressLine& line = *p.line;
  // Without an erase sequence, blanks behind the text wipe what a longer line left.
  if (line.blanks)
    fprintf(line.out, "\r%-*s", kProgressBlankWidth, text);
  else
    fprintf(line.out, "\r%s\033[K", text);
  fflush(line.out);
  line.shown = true;
}

void progress_finish(Progress& p) {
  if (p.line) erase_progress_line(*p.line);
  p.line = nullptr;
}

}  // namespace rq
