// The command table: tried in order, each keyword matched case-insensitively over its own
// length, so a longer word that starts with a keyword runs that keyword's command.
#include "shell/commands.h"

#include <cstring>

#include "shell/args.h"
#include "shell/diag_commands.h"
#include "shell/file_commands.h"
#include "shell/line.h"
#include "shell/ping_command.h"
#include "shell/transfer_commands.h"

namespace rq {

namespace {

CommandOutcome cmd_run_script(Shell& c, const CommandText& command) {
  const char* name = skip_blanks(command.args);
  FILE* next = fopen(name, "rb");
  if (c.script) fclose(c.script);
  c.script = next;
  if (next) return CommandOutcome::kOk;
  fprintf(c.console_out, "Cannot open file %s !!\n", name);
  return CommandOutcome::kLocalFile;
}

CommandOutcome cmd_quit(Shell& c, const CommandText&) {
  c.quit = true;
  return CommandOutcome::kOk;
}

struct Command {
  const char* keyword;
  CommandHandler handler;
};

const Command kCommands[] = {
    {"cd", cmd_cd},   {"cp", cmd_cp},         {"diag", cmd_diag}, {"format", cmd_format},
    {"get", cmd_get}, {"launch", cmd_launch}, {"ls", cmd_ls},     {"mkdir", cmd_mkdir},
    {"mv", cmd_mv},   {"ping", cmd_ping},     {"put", cmd_put},   {"pwd", cmd_pwd},
    {"rm", cmd_rm},   {"s", cmd_run_script},  {"ver", cmd_ver},   {"wb", cmd_wb},
    {"rb", cmd_rb},   {"q", cmd_quit},
};

const Command* matching_entry(const char* text, size_t available) {
  for (const Command& entry : kCommands) {
    size_t length = strlen(entry.keyword);
    if (length <= available &&
        strnicmp_ascii(text, entry.keyword, static_cast<unsigned>(length)) == 0)
      return &entry;
  }
  return nullptr;
}

}  // namespace

const char* dispatched_keyword(const char* text, size_t available) {
  const Command* entry = matching_entry(text, available);
  return entry ? entry->keyword : nullptr;
}

const char* command_keyword(size_t index) {
  return index < sizeof kCommands / sizeof kCommands[0] ? kCommands[index].keyword : nullptr;
}

CommandOutcome dispatch_command(Shell& c, char* command) {
  Link& link = c.device.link;
  link.failed = false;
  CommandOutcome outcome;
  if (const Command* entry = matching_entry(command, strlen(command))) {
    outcome = entry->handler(c, CommandText{command + strlen(entry->keyword), command});
  } else if (command[0] == 'h' || command[0] == 'H' || command[0] == '?') {
    print_help(c);
    outcome = CommandOutcome::kOk;
  } else {
    fprintf(c.console_out, "Shell Error: unknown command <%s>\n", command);
    outcome = CommandOutcome::kUsage;
  }
  // A failure the link met decides even where the exchange went on: a failed send shows
  // only at the next receive, and nothing is received after wb's last chunk.
  return link.failed ? CommandOutcome::kLink : outcome;
}

void print_help(Shell& c) {
  fputs(
      "Usage: rqshell [cmd_script] [server port]\n"
      " RQ usb mux shell program\n"
      "\t  default server is 127.0.0.1\n"
      "\t  default port number is 20025\n"
      " RQ shell command:\n"
      "\th                     - help\n"
      "\tcd [new dir]          - change current directory\n"
      "\tdiag [aud|flash|rtc|gba] - run given diagnostics\n"
      "\tformat                - format file system\n"
      "\tget dx_file pc_file   - download dx_file to pc\n"
      "\tlaunch elf_file       - launch elf file on DX\n"
      "\tls                    - list file or directory\n"
      "\tmkdir dir             - create directory\n"
      "\tmv old new            - rename file (cp + rm) or dir\n"
      "\tcp old new            - cp file \n"
      "\tping                  - handshake\n"
      "\tput pc_file dx_file   - upload pc file to dx\n"
      "\tpwd                   - get current directory\n"
      "\trm [file/dir]         - remove file or directory\n"
      "\trb which_boot file    - download given boot and write to file\n"
      "\ts filename            - run given cmd script\n"
      "\tver                   - display build time\n"
      "\twb which_boot file    - upload PC file to DX boot\n"
      "\tq                     - quit\n",
      c.console_out);
}

}  // namespace rq
