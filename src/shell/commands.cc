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

static int cmd_run_script(Shell& c, char* command) {
  const char* name = skip_blanks(command + 1);
  FILE* next = fopen(name, "rb");
  if (c.script) fclose(c.script);
  c.script = next;
  if (!next) note_outcome(c, CommandOutcome::kLocalFile);
  if (!next) fprintf(c.console_out, "Cannot open file %s !!\n", name);
  return next ? 0 : -1;
}

static int cmd_quit(Shell& c, char*) {
  c.quit = true;
  return 0;
}

struct Command {
  const char* keyword;
  int (*handler)(Shell& c, char* command);
};

static const Command kCommands[] = {
    {"cd", cmd_cd},   {"cp", cmd_cp},         {"diag", cmd_diag}, {"format", cmd_format},
    {"get", cmd_get}, {"launch", cmd_launch}, {"ls", cmd_ls},     {"mkdir", cmd_mkdir},
    {"mv", cmd_mv},   {"ping", ping},         {"put", cmd_put},   {"pwd", cmd_pwd},
    {"rm", cmd_rm},   {"s", cmd_run_script},  {"ver", cmd_ver},   {"wb", cmd_wb},
    {"rb", cmd_rb},   {"q", cmd_quit},
};

static const Command* matching_entry(const char* text, size_t available) {
  for (const Command& entry : kCommands) {
    size_t length = strlen(entry.keyword);
    if (length <= available &&
        strnicmp_ascii(text, entry.keyword, static_cast<unsigned>(length)) == 0)
      return &entry;
  }
  return nullptr;
}

const char* dispatched_keyword(const char* text, size_t available) {
  const Command* entry = matching_entry(text, available);
  return entry ? entry->keyword : nullptr;
}

const char* command_keyword(size_t index) {
  return index < sizeof kCommands / sizeof kCommands[0] ? kCommands[index].keyword : nullptr;
}

int dispatch_command(Shell& c, char* command) {
  if (const Command* entry = matching_entry(command, strlen(command)))
    return entry->handler(c, command);
  if (command[0] == 'h' || command[0] == 'H' || command[0] == '?') {
    print_help(c);
    return 0;
  }
  note_outcome(c, CommandOutcome::kUsage);
  fprintf(c.console_out, "Shell Error: unknown command <%s>\n", command);
  return -1;
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
