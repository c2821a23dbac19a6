#include <unistd.h>

#include "shell/terminal.h"

namespace rq {

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

// Every terminal the shell meets here knows the sequence.
bool stderr_enable_line_erase() { return true; }

// Nothing was switched.
void stderr_restore_mode() {}

bool console_end_leaves_line_open() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

}  // namespace rq
