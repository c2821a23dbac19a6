// Placeholder until these commands are built.
#include <cstdio>

#include "fscmd/fscmd.h"

namespace rq {

int cmd_cd(Connection& c, char*) {
  fprintf(c.console_out, "cd: not built yet\n");
  return -1;
}

int cmd_mkdir(Connection& c, char*) {
  fprintf(c.console_out, "mkdir: not built yet\n");
  return -1;
}

int cmd_rm(Connection& c, char*) {
  fprintf(c.console_out, "rm: not built yet\n");
  return -1;
}

int cmd_launch(Connection& c, char*) {
  fprintf(c.console_out, "launch: not built yet\n");
  return -1;
}

int cmd_ls(Connection& c, char*) {
  fprintf(c.console_out, "ls: not built yet\n");
  return -1;
}

int cmd_pwd(Connection& c, char*) {
  fprintf(c.console_out, "pwd: not built yet\n");
  return -1;
}

int cmd_ver(Connection& c, char*) {
  fprintf(c.console_out, "ver: not built yet\n");
  return -1;
}

int cmd_format(Connection& c, char*) {
  fprintf(c.console_out, "format: not built yet\n");
  return -1;
}

int cmd_mv(Connection& c, char*) {
  fprintf(c.console_out, "mv: not built yet\n");
  return -1;
}

int cmd_cp(Connection& c, char*) {
  fprintf(c.console_out, "cp: not built yet\n");
  return -1;
}

}  // namespace rq
