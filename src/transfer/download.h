// get: fetches a device file. Takes the whole command text, keyword included.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_get(Shell& c, char* command);

}  // namespace rq
