#include <unistd.h>

#include "shell/terminal.h"

namespace rq {

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace rq
