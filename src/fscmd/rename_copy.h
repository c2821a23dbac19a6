// mv and cp: two names out as one payload (old, 0, new, 0), one status back, nothing
// printed on success. Each takes the whole command text, keyword included.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_mv(Shell& c, char* command);
int cmd_cp(Shell& c, char* command);

}  // namespace rq
