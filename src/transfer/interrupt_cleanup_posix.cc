#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "transfer/interrupt_cleanup.h"

namespace rq {

namespace {

// A signal handler can reach nothing but statics, so the path it removes lives here, in a
// fixed buffer: the handler may only use async-signal-safe calls (unlink, sigaction,
// raise), never an allocation or stdio. `armed` is written only while the signals are
// blocked, so the handler never sees a path half copied.
constexpr size_t kPathCapacity = 4096 + 64;
char g_temporary[kPathCapacity];
volatile sig_atomic_t g_armed = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void on_interrupt(int signo) {
  if (g_armed) unlink(g_temporary);
  g_armed = 0;
  // End as the signal's default action would: the parent sees the real cause.
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(signo, &dfl, nullptr);
  raise(signo);
}

void block_signals(sigset_t& old) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  sigprocmask(SIG_BLOCK, &set, &old);
}

}  // namespace

void install_interrupt_cleanup() {
  for (int s : kSignals) {
    struct sigaction old = {};
    if (sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction act = {};
    act.sa_handler = on_interrupt;
    sigemptyset(&act.sa_mask);
    // One handler runs at a time: a second signal waits until the first one has ended us.
    for (int other : kSignals) sigaddset(&act.sa_mask, other);
    sigaction(s, &act, nullptr);
  }
}

int arm_interrupt_cleanup(const char* temporary_path) {
  size_t length = strlen(temporary_path);
  if (length >= kPathCapacity) return -1;
  sigset_t old;
  block_signals(old);
  memcpy(g_temporary, temporary_path, length + 1);
  g_armed = 1;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return 0;
}

// unlink removes an open file as well.
void interrupt_cleanup_opened(int) {}

void disarm_interrupt_cleanup() {
  sigset_t old;
  block_signals(old);
  g_armed = 0;
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace rq
