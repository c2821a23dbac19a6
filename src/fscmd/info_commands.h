// format, pwd and ver. Anything typed after the keyword is ignored.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_format(Shell& c, char* command);
int cmd_pwd(Shell& c, char* command);
int cmd_ver(Shell& c, char* command);

}  // namespace rq
