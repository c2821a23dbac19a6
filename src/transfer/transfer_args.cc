#include "transfer/transfer_args.h"

#include <cstdio>
#include <cstdlib>

#include "shell/shell.h"

namespace rq {

int boot_number(Shell& c, const char* text) {
  int boot = atoi(text);
  if (boot < 1 || boot > 3) {
    note_outcome(c, CommandOutcome::kUsage);
    fprintf(c.console_out, "Invalid boot %d (DX only has 1, 2, 3) \n", boot);
    return -1;
  }
  return boot;
}

}  // namespace rq
