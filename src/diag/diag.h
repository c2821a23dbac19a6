// The `diag` command: the device's self-tests and their console questions.
#pragma once

#include "link/connection.h"

namespace rq {

int cmd_diag(Connection& c, char* command);

}  // namespace rq
