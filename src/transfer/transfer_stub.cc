// Placeholder until these commands are built.
#include <cstdio>

#include "transfer/transfer.h"

namespace rq {

int cmd_put(Connection& c, char*) {
  fprintf(c.console_out, "put: not built yet\n");
  return -1;
}

int cmd_get(Connection& c, char*) {
  fprintf(c.console_out, "get: not built yet\n");
  return -1;
}

int cmd_rb(Connection& c, char*) {
  fprintf(c.console_out, "rb: not built yet\n");
  return -1;
}

int cmd_wb(Connection& c, char*) {
  fprintf(c.console_out, "wb: not built yet\n");
  return -1;
}

}  // namespace rq
