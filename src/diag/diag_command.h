// The `diag` command: the device's self-tests and their console questions.
#pragma once

#include <cstddef>

#include "shell/shell.h"

namespace rq {

int cmd_diag(Shell& c, char* command);

// The test words diag accepts, in the order they are tried; nullptr past the last.
const char* diag_test_word(size_t index);

}  // namespace rq
