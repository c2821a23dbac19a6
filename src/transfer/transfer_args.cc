#include "transfer/transfer_args.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/connection.h"
#include "shell/args.h"

namespace rq {

int transfer_arguments(Connection& c, const char* command, size_t keyword_length, char* out,
                       size_t capacity, char** second) {
  const char* text = skip_blanks(command + strnlen(command, keyword_length));
  size_t second_offset = 0;
  int length = two_arguments(text, out, capacity, &second_offset);
  if (length < 0) {
    fprintf(c.console_out, "INVALID cmd parameters\n");
    return -1;
  }
  *second = out + second_offset;
  return length;
}

int boot_number(Connection& c, const char* text) {
  int boot = atoi(text);
  if (boot < 1 || boot > 3) {
    fprintf(c.console_out, "Invalid boot %d (DX only has 1, 2, 3) \n", boot);
    return -1;
  }
  return boot;
}

}  // namespace rq
