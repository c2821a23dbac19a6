// Where console lines come from: the plain reader (fgets on the session's console input),
// or, when the console is a terminal and the line editor is built in, the editor with
// history and completion. Commands and the diagnostics' questions read through the same
// call, so typed-ahead answers are never split between two readers.
#pragma once

#include "shell/shell.h"

namespace rq {

// Starts the line editor if standard input and output are terminals and the session reads
// the process's own standard input; otherwise the plain reader stays in use.
void console_start_editor(Shell& c);
void console_stop_editor(Shell& c);

// Prints prompt (if any), flushes, and reads one line of at most size - 1 characters, as
// fgets does: a longer line arrives in pieces, the line feed stays. nullptr at end of input.
char* console_read_line(Shell& c, char* buf, int size, const char* prompt);

}  // namespace rq
