// File and boot-image transfers. Each takes the whole command text, keyword included.
#pragma once

#include "link/connection.h"

namespace rq {

int cmd_put(Connection& c, char* command);
int cmd_get(Connection& c, char* command);
int cmd_rb(Connection& c, char* command);
int cmd_wb(Connection& c, char* command);

}  // namespace rq
