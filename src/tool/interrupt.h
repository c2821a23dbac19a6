// What an interrupt (Ctrl-C, SIGTERM, SIGHUP; a console control event on Windows) cleans up
// before the process goes: the temporary file of a download in progress is removed, and a
// note is printed when the device may hold partial data. Then the signal is raised again
// with its default action, so that a calling shell sees the process killed by it (on
// Windows: exit status 130). The state lives in the twin (interrupt_posix.cc,
// interrupt_win32.cc): a signal handler can reach nothing else.
#pragma once

#include <string>

namespace rq {

void interrupt_install();

// The file to remove on an interrupt; empty: none.
void interrupt_guard_file(const std::string& name);

// A line for standard error on an interrupt (without its line feed); empty: none.
void interrupt_note(const std::string& text);

}  // namespace rq
