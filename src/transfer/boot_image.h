// rb and wb: read and write the device's boot images 1 to 3. Neither prints a rate report.
// Each takes the whole command text, keyword included.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_rb(Shell& c, char* command);
int cmd_wb(Shell& c, char* command);

}  // namespace rq
