// The `diag` command: the device's self-tests and their console questions.
#pragma once

#include <cstddef>

#include "link/connection.h"

namespace rq {

int cmd_diag(Connection& c, char* command);

// The test words diag accepts, in the order they are tried; nullptr past the last.
const char* diag_test_word(size_t index);

}  // namespace rq
