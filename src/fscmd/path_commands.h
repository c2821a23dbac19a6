// cd, mkdir, rm and launch: one device path out, one status back, nothing printed on
// success. Each takes the whole command text, keyword included.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_cd(Shell& c, char* command);
int cmd_mkdir(Shell& c, char* command);
int cmd_rm(Shell& c, char* command);
int cmd_launch(Shell& c, char* command);

}  // namespace rq
