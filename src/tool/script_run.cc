#include "tool/script_run.h"

#include <cerrno>
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

// Where the run stands in its scripts: the file being read and its line.
struct ScriptPlace {
  std::string file;
  int line_number = 0;
  bool at_line_start = true;
};

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

// The next command of the script being read, blanks and line end trimmed, into line;
// nullptr at its end. A line longer than the buffer arrives in pieces, as in the shell;
// they share a number.
char* next_command(FILE* script, ScriptPlace& place, char* line, size_t size) {
  while (fgets(line, static_cast<int>(size), script)) {
    if (place.at_line_start) ++place.line_number;
    size_t got = strlen(line);
    place.at_line_start = got > 0 && line[got - 1] == '\n';
    char* command = skip_blanks(line);
    trim_line(command);
    if (*command) return command;
  }
  return nullptr;
}

// Runs one command through the shell's table; an `s` that switched scripts moves place to
// the new file. Returns how the command ended.
CommandOutcome run_command(Tool& t, Shell& c, char* command, ScriptPlace& place) {
  const char* keyword = dispatched_keyword(command, strlen(command));
  bool long_command = keyword_is(keyword, "format") || keyword_is(keyword, "diag");
  set_exchange_timeout(t, long_command ? kLongCommandSeconds : 0);
  std::string next_file = keyword_is(keyword, "s") ? skip_blanks(command + 1) : "";
  FILE* before = c.script;
  CommandOutcome outcome = dispatch_command(c, command);
  fflush(t.out);
  if (keyword_is(keyword, "s") && c.script && c.script != before)
    place = ScriptPlace{next_file, 0, true};
  return outcome;
}

// A failed command: named on standard error as FILE:LINE: text; the first decides the run's
// status.
void report_failure(Tool& t, const ScriptPlace& place, const std::string& text,
                    CommandOutcome outcome, RunSummary& s) {
  ++s.failed;
  std::string named = place.file + ":" + std::to_string(place.line_number) + ": " + text;
  fprintf(t.err, "%s\n", named.c_str());
  // The shell's own lines say nothing of a time-out; the tool says what the link met
  // during the command.
  if (link_failed(t)) fprintf(t.err, "rqtool: %s\n", link_text(t).c_str());
  if (!s.first_failure.empty()) return;
  s.first_failure = named;
  FailStep step = outcome == CommandOutcome::kUsage ? FailStep::kUsage : FailStep::kCommand;
  t.failure = Failure{exit_status_for(outcome), step, 0, named};
}

}  // namespace

int tool_run(Tool& t, const RunArgs& a, RunSummary& s) {
  FILE* script = local_fopen(a.script, "rb");
  if (!script) {
    int error = errno;
    return local_fail(t, error, "run: cannot open " + a.script + ": " + local_error_text(error));
  }
  if (tool_connect(t) != 0) {
    fclose(script);
    return kExitLink;
  }
  // A session over the run's connection: while it lives, it prints the shell's own lines
  // for a link failure, and the link keeps the reason for the tool's line.
  Shell c(t.device);
  c.script = script;
  c.console_in = stdin;
  c.console_out = t.out;
  c.progress = t.progress;

  ScriptPlace place{a.script};
  char line[kLineSize];
  while (!c.quit && c.script) {
    char* command = next_command(c.script, place, line, sizeof line);
    if (!command) break;
    std::string text = command;
    if (a.echo) fprintf(t.out, "> %s\n", command);
    CommandOutcome outcome = run_command(t, c, command, place);
    ++s.commands;
    if (outcome == CommandOutcome::kOk) continue;
    report_failure(t, place, text, outcome, s);
    if (!a.keep_going) break;
  }
  if (c.script) fclose(c.script);
  c.script = nullptr;
  return t.failure.status;
}

}  // namespace rq
