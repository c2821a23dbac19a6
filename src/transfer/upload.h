// put: sends a local file to the device. Takes the whole command text, keyword included.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_put(Shell& c, char* command);

}  // namespace rq
