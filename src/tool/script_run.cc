#include "tool/script_run.h"

#include <cerrno>
#include <cstring>

#include "local/platform.h"
#include "local/script_file.h"
#include "shell/args.h"
#include "shell/commands.h"
#include "shell/line.h"
#include "shell/shell.h"
#include "tool/connect.h"
#include "tool/printable.h"

namespace rq {

namespace {

constexpr size_t kLineSize = 1024;  // as the shell reads its scripts
// The longest line the shell reads as one command; it runs a longer one in pieces.
constexpr size_t kLongestLine = kLineSize - 1;

// Where the run stands in its scripts: the file being read and its line.
struct ScriptPlace {
  std::string file;
  int line_number = 0;
};

int exit_status_for(CommandOutcome outcome) {
  switch (outcome) {
    case CommandOutcome::kOk: return kExitOk;
    case CommandOutcome::kDevice: return kExitDevice;
    case CommandOutcome::kUsage: return kExitUsage;
    case CommandOutcome::kLink: return kExitLink;
    case CommandOutcome::kLocalFile: return kExitLocalFile;
    case CommandOutcome::kNoAnswer: return kExitUsage;  // as rqtool diag without answers
  }
  return kExitDevice;
}

FailStep failure_step(CommandOutcome outcome) {
  switch (outcome) {
    case CommandOutcome::kUsage: return FailStep::kUsage;
    case CommandOutcome::kNoAnswer: return FailStep::kAnswer;
    default: return FailStep::kCommand;
  }
}

bool keyword_is(const char* keyword, const char* word) {
  return keyword && std::strcmp(keyword, word) == 0;
}

enum class ScriptLine { kRead, kEnd, kTooLong };

// Reads the script's next line into line as the shell's read takes it (the line feed kept
// when it fits), counting it in place. A line longer than the shell reads at once would run
// there as several commands; here it is read to its end and refused whole, so that no
// piece of it runs. A line of kLongestLine characters is one command in the shell (its line
// end arrives as an empty read), also when the line end is CR LF.
ScriptLine read_script_line(FILE* script, char (&line)[kLineSize], ScriptPlace& place) {
  int ch = getc(script);
  if (ch == EOF) return ScriptLine::kEnd;
  ++place.line_number;
  size_t kept = 0;    // bytes in line
  size_t length = 0;  // the line's bytes before its line feed
  bool carriage_return_last = false;
  for (; ch != EOF; ch = getc(script)) {
    if (kept < kLongestLine) line[kept++] = static_cast<char>(ch);
    if (ch == '\n') break;
    ++length;
    carriage_return_last = ch == '\r';
  }
  line[kept] = '\0';
  bool fits = length <= kLongestLine || (length == kLongestLine + 1 && carriage_return_last);
  return fits ? ScriptLine::kRead : ScriptLine::kTooLong;
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
  if (keyword_is(keyword, "s") && c.script && c.script != before) place = ScriptPlace{next_file, 0};
  return outcome;
}

// A failed command: named on standard error as FILE:LINE: text; the first decides the run's
// status.
void report_failure(Tool& t, const ScriptPlace& place, const std::string& text,
                    CommandOutcome outcome, RunSummary& s) {
  ++s.failed;
  std::string named = place.file + ":" + std::to_string(place.line_number) + ": " + text;
  fprintf(t.err, "%s\n", printable_line(named).c_str());
  // The shell's own lines say nothing of a time-out; the tool says what the link met
  // during the command.
  if (link_failed(t)) fprintf(t.err, "rqtool: %s\n", link_text(t).c_str());
  if (!s.first_failure.empty()) return;
  s.first_failure = named;
  t.failure = Failure{exit_status_for(outcome), failure_step(outcome), 0, named};
}

}  // namespace

int tool_run(Tool& t, const RunArgs& a, RunSummary& s) {
  FILE* script = open_local_script_file(a.script);
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
    ScriptLine got = read_script_line(c.script, line, place);
    if (got == ScriptLine::kEnd) break;
    CommandOutcome outcome = CommandOutcome::kUsage;
    std::string text = "line longer than " + std::to_string(kLongestLine) + " characters";
    if (got == ScriptLine::kRead) {
      char* command = skip_blanks(line);
      trim_line(command);
      if (!*command) continue;
      text = command;
      if (a.echo) fprintf(t.out, "> %s\n", command);
      outcome = run_command(t, c, command, place);
    }
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
