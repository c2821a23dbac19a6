// cd, mkdir, rm and launch: one device path out, one status back, nothing printed on
// success. The path goes unchecked; the device's status decides (invalid path, too long).
#include "fscmd/path_commands.h"

#include "device/path_exchange.h"
#include "fscmd/path_report.h"
#include "shell/args.h"

namespace rq {

static int run_path_command(Shell& c, char* command, size_t keyword_length, uint8_t code,
                            const PathFailureLines& lines) {
  char* path;
  int wire_length = single_path(command, keyword_length, &path);
  return report_path_result(c, path_exchange(c.device, code, path, wire_length), lines);
}

int cmd_cd(Shell& c, char* command) {
  static constexpr PathFailureLines kLines = {
      "cd command failed rcving cmd = %d\n",
      "cd command failed errcode = %d\n",
      "cd command failed errcode = %d\n",
  };
  return run_path_command(c, command, 2, kCmdCd, kLines);
}

int cmd_mkdir(Shell& c, char* command) {
  // A refused path reports with the command-message line: operators' scripts expect it.
  static constexpr PathFailureLines kLines = {
      "mkdir command failed rcv cmd = %d\n",
      "mkdir command failed rcv cmd = %d\n",
      "mkdir command failed errcode = %d\n",
  };
  return run_path_command(c, command, 5, kCmdMkdir, kLines);
}

int cmd_rm(Shell& c, char* command) {
  static constexpr PathFailureLines kLines = {
      "rm command failed rcv cmd = %d\n",
      "rm command failed errcode = %d\n",
      "rm command failed errcode = %d\n",
  };
  return run_path_command(c, command, 2, kCmdRm, kLines);
}

int cmd_launch(Shell& c, char* command) {
  static constexpr PathFailureLines kLines = {
      "launch command failed rcv cmd errcode = %d\n",
      "launch command failed errcode = %d\n",
      "launch command failed errcode = %d\n",
  };
  return run_path_command(c, command, 6, kCmdLaunch, kLines);
}

}  // namespace rq
