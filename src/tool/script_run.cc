#include "tool/script_run.h"

#include <cstring>

#include "local/platform.h"
#include "shell/args.h"
#include "shell/commands.h"
#include "shell/line.h"
#include "shell/shell.h"
#include "tool/connect.h"

namespace rq {

namespace {

constexpr size_t kLineSize = 1024;  // as the shell reads its scripts
constexpr double kLongCommandSeconds = 300;

int exit_status_for(CommandOutcome outcome) {
  switch (outcome) {
    case CommandOutcome::kOk: return kExitOk;
    case CommandOutcome::kDevice: return kExitDevice;
    case CommandOutcome::kUsage: return kExitUsage;
    case CommandOutcome::kLink: return kExitLink;
    case CommandOutcome::kLocalFile: return kExitLocalFile;
  }
  return kExitDevice;
}

bool keyword_is(const char* keyword, const char* word) {
  return keyword && std::strcmp(keyword, word) == 0;
}

}  // namespace

int tool_run(Tool& t, const RunArgs& a, RunSummary& s) {
  FILE* script = local_fopen(a.script, "rb");
  if (!script)
    return tool_fail(t, kExitLocalFile, "local", errno,
                     "run: cannot open " + a.script + ": " + local_error_text(errno));
  if (tool_connect(t) != 0) {
    fclose(script);
    return kExitLink;
  }
  // The session prints the shell's own lines for a link failure; the link keeps the reason
  // for the tool's line.
  Shell c(t.device);
  c.script = script;
  c.console_in = stdin;
  c.console_out = t.out;
  c.progress = t.progress;

  std::string file = a.script;
  int line_number = 0;
  bool at_line_start = true;
  int first_status = kExitOk;
  char line[kLineSize];
  while (!c.quit && c.script) {
    if (!fgets(line, sizeof line, c.script)) break;
    // A line longer than the buffer arrives in pieces, as in the shell; they share a number.
    if (at_line_start) ++line_number;
    size_t got = strlen(line);
    at_line_start = got > 0 && line[got - 1] == '\n';
    char* command = skip_blanks(line);
    trim_line(command);
    if (!*command) continue;
    std::string text = command;
    if (a.echo) fprintf(t.out, "> %s\n", command);

    const char* keyword = dispatched_keyword(command, strlen(command));
    bool long_command = keyword_is(keyword, "format") || keyword_is(keyword, "diag");
    set_exchange_timeout(t, long_command ? kLongCommandSeconds : 0);
    std::string next_file = keyword_is(keyword, "s") ? skip_blanks(command + 1) : "";
    FILE* before = c.script;

    CommandOutcome outcome = dispatch_command(c, command);
    ++s.commands;
    fflush(t.out);

    if (keyword_is(keyword, "s") && c.script && c.script != before) {
      file = next_file;
      line_number = 0;
      at_line_start = true;
    }
    if (outcome == CommandOutcome::kOk) continue;

    ++s.failed;
    char where[64];
    snprintf(where, sizeof where, ":%d: ", line_number);
    std::string named = file + where + text;
    fprintf(t.err, "%s\n", named.c_str());
    // The shell's own lines say nothing of a time-out; the tool says what the link met
    // during the command.
    if (t.device.link.failed)
      fprintf(t.err, "rqtool: %s\n",
              link_failure_text(t.device.link.failure, t.options, t.device.link).c_str());
    if (first_status == kExitOk) {
      first_status = exit_status_for(outcome);
      s.first_failure = named;
      t.failure.status = first_status;
      t.failure.step = outcome == CommandOutcome::kUsage ? "usage" : "command";
      t.failure.text = named;
    }
    if (!a.keep_going) break;
  }
  if (c.script) fclose(c.script);
  c.script = nullptr;
  return first_status;
}

}  // namespace rq
