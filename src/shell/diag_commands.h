// The `diag` command: the device's self-tests and their console questions.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_diag(Shell& c, char* command);

}  // namespace rq
