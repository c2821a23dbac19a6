#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "local/interrupt_cleanup.h"

namespace rq {

namespace {

// A signal handler can reach nothing but statics, so the path it removes, the note it prints
// and the reports it writes live here, in fixed buffers: the handler may only use
// async-signal-safe calls (unlink, write, sigaction, raise), never an allocation or stdio.
// Each is written only while the signals are blocked, so the handler never sees one half
// copied.
constexpr size_t kPathCapacity = 4096 + 64;
constexpr size_t kNoteCapacity = 1024;
constexpr size_t kOutputCapacity = 1024;
char g_temporary[kPathCapacity];
volatile sig_atomic_t g_armed = 0;
char g_note[kNoteCapacity];

struct Handled {
  int signo;
  InterruptSource source;
  const char* name;
};
constexpr Handled kSignals[] = {{SIGINT, kInterruptKey, "SIGINT"},
                                {SIGTERM, kTerminateRequest, "SIGTERM"},
                                {SIGHUP, kHangUp, "SIGHUP"},
                                {SIGPIPE, kBrokenPipe, "SIGPIPE"}};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
// Each signal's report for standard output, with its line feed; by kSignals' order.
char g_output[kSignalCount][kOutputCapacity];

void write_all(int fd, const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, text, length);
    if (n <= 0) return;  // nobody can be told: the process ends anyway
    text += n;
    length -= static_cast<size_t>(n);
  }
}

void on_interrupt(int signo) {
  if (g_armed) unlink(g_temporary);
  g_armed = 0;
  // A reader that went away is told nothing, as cat tells it nothing.
  if (signo != SIGPIPE && g_note[0]) {
    write_all(STDERR_FILENO, g_note, strlen(g_note));
    write_all(STDERR_FILENO, "\n", 1);
  }
  for (size_t i = 0; i < kSignalCount; ++i)
    if (kSignals[i].signo == signo && g_output[i][0])
      write_all(STDOUT_FILENO, g_output[i], strlen(g_output[i]));
  // End as the signal's default action would: the parent sees the real cause.
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(signo, &dfl, nullptr);
  raise(signo);
}

// The handler's signals, SIGPIPE among them when with_pipe.
sigset_t handled_set(bool with_pipe) {
  sigset_t set;
  sigemptyset(&set);
  for (const Handled& h : kSignals)
    if (with_pipe || h.signo != SIGPIPE) sigaddset(&set, h.signo);
  return set;
}

// Runs copy with the handler's signals held back.
template <typename Copy>
void with_signals_blocked(Copy copy) {
  sigset_t set = handled_set(true), old;
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
    // One handler runs at a time: a second signal waits until the first one has ended us.
    act.sa_mask = handled_set(true);
    sigaction(h.signo, &act, nullptr);
  }
}

InterruptEnding interrupt_ending(InterruptSource source) {
  for (const Handled& h : kSignals)
    if (h.source == source) return InterruptEnding{h.name, h.signo, 128 + h.signo};
  return InterruptEnding{"SIGINT", SIGINT, 128 + SIGINT};
}

int set_interrupt_output(InterruptSource source, const char* text) {
  size_t length = strlen(text);
  if (length + 2 > kOutputCapacity) return -1;
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (kSignals[i].source != source) continue;
    with_signals_blocked([&] {
      memcpy(g_output[i], text, length);
      // One write, line feed included.
      if (length > 0) g_output[i][length++] = '\n';
      g_output[i][length] = '\0';
    });
  }
  return 0;
}

void hold_interrupts_until_exit() {
  sigset_t set = handled_set(false);
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

// The kBrokenPipe handler has ended the program before a write could fail with EPIPE, unless
// SIGPIPE was ignored from the start: then the error is what the caller asked for.
void end_if_reader_gone(int) {}

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
