// The paths go unchecked: the device's status decides (invalid path, too long).
#include "shell/file_commands.h"

#include "device/info.h"
#include "device/listing.h"
#include "device/path_exchange.h"
#include "shell/args.h"
#include "shell/failure_report.h"

namespace rq {

namespace {

// The failure lines of the commands built on the path exchange: each command has its own
// line (one %d) for each step that can fail. The lines differ per command and per step, and
// the operator's scripts match them word for word.
struct PathFailureLines {
  const char* command_refused;  // the ready message before the command message was not 0
  const char* path_refused;     // the ready message before the path was not 0
  const char* bad_status;       // the status was not 0, could not be received, or (ls) the
                                // reply did not arrive
};

// kOk for a good result; otherwise prints the failure report with the step's line.
CommandOutcome report_path_result(Shell& c, const Result& r, const PathFailureLines& lines) {
  if (r.ok()) return CommandOutcome::kOk;
  const char* line = r.step == Step::kCommand   ? lines.command_refused
                     : r.step == Step::kPayload ? lines.path_refused
                                                : lines.bad_status;
  return print_failure_report(c, r.code, line);
}

CommandOutcome run_path_command(Shell& c, const CommandText& command, uint8_t code,
                                const PathFailureLines& lines) {
  char* path;
  int wire_length = single_path(command.args, &path);
  return report_path_result(c, path_exchange(c.device, code, path, wire_length), lines);
}

// The payload is the parse result as it is: old, 0, new, 0.
CommandOutcome run_two_name_command(Shell& c, const CommandText& command, uint8_t code,
                                    const char* refused_line, const char* status_line) {
  char names[kArgumentsCapacity];
  char* second;
  int total = command_arguments(c, command.args, names, sizeof names, &second);
  if (total < 0) return CommandOutcome::kUsage;
  const PathFailureLines lines = {refused_line, refused_line, status_line};
  return report_path_result(c, path_exchange(c.device, code, names, total), lines);
}

void print_file_record(Shell& c, const char* path, const FileRecord& f) {
  fprintf(c.console_out, "%s %dBytes ", path, f.size);
  fprintf(c.console_out, "uid=%d gid=%d attr=%x own=%x grp=%d other=%d\n", f.uid, f.gid,
          static_cast<unsigned>(f.attr), static_cast<unsigned>(f.own), f.grp, f.other);
}

void print_directory(Shell& c, const char* path, const ListingReply& r) {
  fprintf(c.console_out, "%s contains %d files\n", path, listing_field(r, kListingCountOffset));
  ListingCursor cursor;
  ListingEntry e;
  while (listing_next(r, cursor, &e))
    fprintf(c.console_out, e.directory ? "%d Dir %.*s \n" : "%d File %.*s \n", e.number,
            e.name_length, e.name);
}

// Every step of pwd and ver fails with the command's one line.
CommandOutcome print_text(Shell& c, uint8_t code, const char* prefix, const char* line) {
  TextReply reply;
  Result r = read_text(c.device, code, &reply);
  if (!r.ok()) return print_failure_report(c, r.code, line);
  fprintf(c.console_out, "%s%.*s\n", prefix, reply.length, reply.text);
  return CommandOutcome::kOk;
}

}  // namespace

CommandOutcome cmd_cd(Shell& c, const CommandText& command) {
  static constexpr PathFailureLines kLines = {
      "cd command failed rcving cmd = %d\n",
      "cd command failed errcode = %d\n",
      "cd command failed errcode = %d\n",
  };
  return run_path_command(c, command, kCmdCd, kLines);
}

CommandOutcome cmd_mkdir(Shell& c, const CommandText& command) {
  // A refused path reports with the command-message line: operators' scripts expect it.
  static constexpr PathFailureLines kLines = {
      "mkdir command failed rcv cmd = %d\n",
      "mkdir command failed rcv cmd = %d\n",
      "mkdir command failed errcode = %d\n",
  };
  return run_path_command(c, command, kCmdMkdir, kLines);
}

CommandOutcome cmd_rm(Shell& c, const CommandText& command) {
  static constexpr PathFailureLines kLines = {
      "rm command failed rcv cmd = %d\n",
      "rm command failed errcode = %d\n",
      "rm command failed errcode = %d\n",
  };
  return run_path_command(c, command, kCmdRm, kLines);
}

CommandOutcome cmd_launch(Shell& c, const CommandText& command) {
  static constexpr PathFailureLines kLines = {
      "launch command failed rcv cmd errcode = %d\n",
      "launch command failed errcode = %d\n",
      "launch command failed errcode = %d\n",
  };
  return run_path_command(c, command, kCmdLaunch, kLines);
}

CommandOutcome cmd_ls(Shell& c, const CommandText& command) {
  static constexpr PathFailureLines kLines = {
      "ls command failed rv cmd = %d\n",
      "ls command failed errcode = %d\n",
      "ls command failed errcode = %d\n",
  };
  char* path;
  int wire_length = single_path(command.args, &path);
  ListingReply reply;
  Result r = list_path(c.device, path, wire_length, &reply);
  if (!r.ok()) return report_path_result(c, r, kLines);
  if (listing_is_file(reply))
    print_file_record(c, path, listing_file_record(reply));
  else
    print_directory(c, path, reply);
  return CommandOutcome::kOk;
}

CommandOutcome cmd_mv(Shell& c, const CommandText& command) {
  return run_two_name_command(c, command, kCmdMv, "mv command failed errcode = %d\n",
                              "mv command failed errcode = %d\n");
}

CommandOutcome cmd_cp(Shell& c, const CommandText& command) {
  // A refused cp reports with the mv line; operators' scripts match it word for word.
  return run_two_name_command(c, command, kCmdCp, "mv command failed errcode = %d\n",
                              "cp command failed errcode = %d\n");
}

CommandOutcome cmd_format(Shell& c, const CommandText&) {
  Result r = format_device(c.device);
  if (r.ok()) return CommandOutcome::kOk;
  return print_failure_report(c, r.code, "format command failed errcode = %d\n");
}

CommandOutcome cmd_pwd(Shell& c, const CommandText&) {
  return print_text(c, kCmdPwd, "", "pwd command failed errcode = %d\n");
}

CommandOutcome cmd_ver(Shell& c, const CommandText&) {
  return print_text(c, kCmdVer, "DX shell built at ", "ver command failed errcode = %d\n");
}

}  // namespace rq
