// Device file-system commands. Each takes the whole command text, keyword included.
#pragma once

#include "link/connection.h"

namespace rq {

int cmd_cd(Connection& c, char* command);
int cmd_mkdir(Connection& c, char* command);
int cmd_rm(Connection& c, char* command);
int cmd_launch(Connection& c, char* command);
int cmd_ls(Connection& c, char* command);
int cmd_pwd(Connection& c, char* command);
int cmd_ver(Connection& c, char* command);
int cmd_format(Connection& c, char* command);
int cmd_mv(Connection& c, char* command);
int cmd_cp(Connection& c, char* command);

}  // namespace rq
