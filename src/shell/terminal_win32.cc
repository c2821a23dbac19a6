#include <windows.h>

#include <atomic>

#include "shell/terminal.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace rq {

namespace {

// Standard error's console mode from before the progress line switched it, put back when the
// shell ends: a console keeps a mode after the program that set it is gone. The console runs
// its control handler on a thread of its own, which can reach nothing but statics, so the
// mode lives here; it is written before the flag that publishes it.
DWORD g_original_mode = 0;
std::atomic<bool> g_mode_changed{false};

void put_mode_back() {
  if (g_mode_changed.exchange(false))
    SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), g_original_mode);
}

// Control-C, Control-Break or closing the console end the shell without a return from
// shell_main. Handlers run newest first: this one, registered after the interrupt clean-up's,
// puts the mode back and leaves the event to that one.
BOOL WINAPI restore_on_console_event(DWORD) {
  put_mode_back();
  return FALSE;
}

}  // namespace

// A console, not merely a character device: _isatty says yes for NUL too, and a progress
// line sent there would be drawn for nobody.
bool stderr_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool stderr_enable_line_erase() {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(err, &mode)) return false;
  if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
  // Consoles before Windows 10 refuse the flag.
  if (!SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
  g_original_mode = mode;
  g_mode_changed = true;
  SetConsoleCtrlHandler(restore_on_console_event, TRUE);
  return true;
}

void stderr_restore_mode() {
  put_mode_back();
  SetConsoleCtrlHandler(restore_on_console_event, FALSE);
}

// The console echoes the Enter that follows Ctrl-Z, so the line is ended already.
bool console_end_leaves_line_open() { return false; }

}  // namespace rq
