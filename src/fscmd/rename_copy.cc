#include "fscmd/rename_copy.h"

#include "device/path_exchange.h"
#include "fscmd/path_report.h"
#include "shell/args.h"

namespace rq {

static int run_two_name_command(Shell& c, char* command, uint8_t code, const char* refused_line,
                                const char* status_line) {
  // Parsed straight into the payload area, so the parse result is the payload as sent.
  char* names = reinterpret_cast<char*>(payload_area(c.device));
  char* second;
  int total = command_arguments(c, command, 2, names, kMaxPayload, &second);
  if (total < 0) return kCommandFailed;
  const PathFailureLines lines = {refused_line, refused_line, status_line};
  return report_path_result(c, path_exchange(c.device, code, names, total), lines);
}

int cmd_mv(Shell& c, char* command) {
  return run_two_name_command(c, command, kCmdMv, "mv command failed errcode = %d\n",
                              "mv command failed errcode = %d\n");
}

int cmd_cp(Shell& c, char* command) {
  // A refused cp reports with the mv line; operators' scripts match it word for word.
  return run_two_name_command(c, command, kCmdCp, "mv command failed errcode = %d\n",
                              "cp command failed errcode = %d\n");
}

}  // namespace rq
