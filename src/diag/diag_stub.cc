// Placeholder until these commands are built.
#include <cstdio>

#include "diag/diag.h"

namespace rq {

int cmd_diag(Connection& c, char*) {
  fprintf(c.console_out, "diag: not built yet\n");
  return -1;
}

}  // namespace rq
