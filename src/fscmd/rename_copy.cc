// mv and cp: two names out as one payload (old, 0, new, 0), one status back, nothing
// printed on success.
#include <cstring>

#include "fscmd/fscmd.h"
#include "fscmd/path_exchange.h"
#include "link/message.h"
#include "shell/args.h"

namespace rq {

static int run_two_name_command(Connection& c, char* command, uint8_t code,
                                const char* refused_line, const char* status_line) {
  // Parsed straight into the payload area, so the parse result is the payload as sent.
  const char* text = skip_blanks(command + strnlen(command, 2));
  char* names = reinterpret_cast<char*>(payload_area(c));
  size_t second_offset;
  int total = two_arguments(text, names, kMaxPayload, &second_offset);
  if (total < 0) {
    fprintf(c.console_out, "INVALID cmd parameters\n");
    return kCommandFailed;
  }
  int rc = send_command(c, code, 0, total);
  if (rc == 0) rc = ready_gated_send(c, payload_area(c), static_cast<size_t>(total));
  if (rc != 0) {
    print_failure_report(c, rc, refused_line);
    return kCommandFailed;
  }
  rc = receive_status(c);  // -1 when the status never arrived
  if (rc != 0) {
    print_failure_report(c, rc, status_line);
    return kCommandFailed;
  }
  return 0;
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
