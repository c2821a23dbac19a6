#include <windows.h>

#include "shell/terminal.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace rq {

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
  return SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// The console echoes the Enter that follows Ctrl-Z, so the line is ended already.
bool console_end_leaves_line_open() { return false; }

}  // namespace rq
