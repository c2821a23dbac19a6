#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "tool/interrupt.h"

namespace rq {

namespace {

// Written only outside the handler, with the handler's signals blocked; read only inside it.
char guarded_file[4096];
char note[512];

void block_signals(bool block) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void copy_bounded(char* dest, size_t size, const std::string& text) {
  block_signals(true);
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
  block_signals(false);
}

void on_signal(int sig) {
  if (guarded_file[0]) unlink(guarded_file);
  if (note[0]) {
    size_t n = strlen(note);
    ssize_t ignored = write(STDERR_FILENO, note, n);
    ignored = write(STDERR_FILENO, "\n", 1);
    (void)ignored;
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace

void interrupt_install() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  sigaddset(&sa.sa_mask, SIGHUP);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

void interrupt_guard_file(const std::string& name) {
  copy_bounded(guarded_file, sizeof guarded_file, name);
}

void interrupt_note(const std::string& text) { copy_bounded(note, sizeof note, text); }

}  // namespace rq
