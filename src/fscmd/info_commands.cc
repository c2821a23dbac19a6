#include "fscmd/info_commands.h"

#include "device/info.h"
#include "fscmd/path_report.h"
#include "shell/failure_report.h"

namespace rq {

// Every step of these commands fails with the command's one line.
static int print_text(Shell& c, uint8_t code, const char* prefix, const char* line) {
  TextReply reply;
  Result r = read_text(c.device, code, &reply);
  if (!r.ok()) {
    print_failure_report(c, r.code, line);
    return kCommandFailed;
  }
  fprintf(c.console_out, "%s%.*s\n", prefix, reply.length, reply.text);
  return 0;
}

int cmd_format(Shell& c, char*) {
  Result r = format_device(c.device);
  if (r.ok()) return 0;
  print_failure_report(c, r.code, "format command failed errcode = %d\n");
  return kCommandFailed;
}

int cmd_pwd(Shell& c, char*) {
  return print_text(c, kCmdPwd, "", "pwd command failed errcode = %d\n");
}

int cmd_ver(Shell& c, char*) {
  return print_text(c, kCmdVer, "DX shell built at ", "ver command failed errcode = %d\n");
}

}  // namespace rq
