#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "local/interrupt_cleanup.h"

namespace rq {

namespace {

// A signal handler can reach nothing but statics, so the path it removes and the note it
// prints live here, in fixed buffers: the handler may only use async-signal-safe calls
// (unlink, write, sigaction, raise), never an allocation or stdio. Both are written only
// while the signals are blocked, so the handler never sees one half copied.
constexpr size_t kPathCapacity = 4096 + 64;
constexpr size_t kNoteCapacity = 1024;
char g_temporary[kPathCapacity];
volatile sig_atomic_t g_armed = 0;
char g_note[kNoteCapacity];

struct Handled {
  int signo;
  InterruptSource source;
};
constexpr Handled kSignals[] = {
    {SIGINT, kInterruptKey}, {SIGTERM, kTerminateRequest}, {SIGHUP, kHangUp}};

void write_all(const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(STDERR_FILENO, text, length);
    if (n <= 0) return;  // nobody can be told: the process ends anyway
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void on_interrupt(int signo) {
  if (g_armed) unlink(g_temporary);
  g_armed = 0;
  if (g_note[0]) {
    write_all(g_note, strlen(g_note));
    write_all("\n", 1);
  }
  // End as the signal's default action would: the parent sees the real cause.
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(signo, &dfl, nullptr);
  raise(signo);
}

// Runs copy with the handler's signals held back.
template <typename Copy>
void with_signals_blocked(Copy copy) {
  sigset_t set, old;
  sigemptyset(&set);
  for (const Handled& h : kSignals) sigaddset(&set, h.signo);
  sigprocmask(SIG_BLOCK, &set, &old);
  copy();
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace

// The way out is the signal itself here; the choice is for Windows only.
void install_interrupt_cleanup(unsigned sources, WindowsInterruptExit) {
  for (const Handled& h : kSignals) {
    if (!(sources & h.source)) continue;
    struct sigaction old = {};
    if (sigaction(h.signo, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction act = {};
    act.sa_handler = on_interrupt;
    sigemptyset(&act.sa_mask);
    // One handler runs at a time: a second signal waits until the first one has ended us.
    for (const Handled& other : kSignals) sigaddset(&act.sa_mask, other.signo);
    sigaction(h.signo, &act, nullptr);
  }
}

// Names are bytes here, whatever their letters.
int arm_interrupt_cleanup(const char* temporary_path) {
  size_t length = strlen(temporary_path);
  if (length >= kPathCapacity) return -1;
  with_signals_blocked([&] {
    memcpy(g_temporary, temporary_path, length + 1);
    g_armed = 1;
  });
  return 0;
}

// unlink removes an open file as well.
void interrupt_cleanup_opened(int) {}

void disarm_interrupt_cleanup() {
  with_signals_blocked([] { g_armed = 0; });
}

void set_interrupt_note(const char* text) {
  size_t length = strnlen(text, kNoteCapacity - 1);
  with_signals_blocked([&] {
    memcpy(g_note, text, length);
    g_note[length] = '\0';
  });
}

}  // namespace rq
