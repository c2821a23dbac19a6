// The device file commands at the console: cd, mkdir, rm and launch send one path; mv and cp
// two names; ls prints a file's record or a directory's entries; format, pwd and ver send a
// bare command message (anything typed after their keyword is ignored) and pwd and ver print
// the text that comes back. Nothing is printed on success but what ls, pwd and ver show.
#pragma once

#include "shell/commands.h"
#include "shell/shell.h"

namespace rq {

CommandOutcome cmd_cd(Shell& c, const CommandText& command);
CommandOutcome cmd_mkdir(Shell& c, const CommandText& command);
CommandOutcome cmd_rm(Shell& c, const CommandText& command);
CommandOutcome cmd_launch(Shell& c, const CommandText& command);
CommandOutcome cmd_ls(Shell& c, const CommandText& command);
CommandOutcome cmd_mv(Shell& c, const CommandText& command);
CommandOutcome cmd_cp(Shell& c, const CommandText& command);
CommandOutcome cmd_format(Shell& c, const CommandText& command);
CommandOutcome cmd_pwd(Shell& c, const CommandText& command);
CommandOutcome cmd_ver(Shell& c, const CommandText& command);

}  // namespace rq
