// ls: prints a file's record or a directory's entries.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_ls(Shell& c, char* command);

}  // namespace rq
