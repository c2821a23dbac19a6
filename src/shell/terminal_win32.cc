#include <io.h>

#include <cstdio>

#include "shell/terminal.h"

namespace rq {

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace rq
