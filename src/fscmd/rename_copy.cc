// mv and cp: two names out as one payload (old, 0, new, 0), one status back, nothing
// printed on success.
#include "fscmd/fscmd.h"
#include "fscmd/path_exchange.h"
#include "shell/args.h"

namespace rq {

static int run_two_name_command(Connection& c, char* command, uint8_t code,
                                const char* refused_line, const char* status_line) {
  // Parsed straight into the payload area, so the parse result is the payload as sent.
  char* names = reinterpret_cast<char*>(payload_area(c));
  char* second;
  int total = command_arguments(c, command, 2, names, kMaxPayload, &second);
  if (total < 0) return kCommandFailed;
  const PathFailureLines lines = {refused_line, refused_line, status_line};
  return path_exchange(c, code, names, total, lines);
}

int cmd_mv(Connection& c, char* command) {
  return run_two_name_command(c, command, kCmdMv, "mv command failed errcode = %d\n",
                              "mv command failed errcode = %d\n");
}

int cmd_cp(Connection& c, char* command) {
  // A refused cp reports with the mv line; operators' scripts match it word for word.
  return run_two_name_command(c, command, kCmdCp, "mv command failed errcode = %d\n",
                              "cp command failed errcode = %d\n");
}

}  // namespace rq
