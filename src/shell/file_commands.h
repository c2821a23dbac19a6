// The device file commands at the console: cd, mkdir, rm and launch send one path; mv and cp
// two names; ls prints a file's record or a directory's entries; format, pwd and ver send a
// bare command message (anything typed after their keyword is ignored) and pwd and ver print
// the text that comes back. Nothing is printed on success but what ls, pwd and ver show.
#pragma once

#include "shell/shell.h"

namespace rq {

int cmd_cd(Shell& c, char* command);
int cmd_mkdir(Shell& c, char* command);
int cmd_rm(Shell& c, char* command);
int cmd_launch(Shell& c, char* command);
int cmd_ls(Shell& c, char* command);
int cmd_mv(Shell& c, char* command);
int cmd_cp(Shell& c, char* command);
int cmd_format(Shell& c, char* command);
int cmd_pwd(Shell& c, char* command);
int cmd_ver(Shell& c, char* command);

}  // namespace rq
