// The command line: global options before the command, one subcommand per row of the
// command table, and the run of the command it names. Every usage error exits 2 with a
// short usage line; --help and --version exit 0.
#include "tool/tool_main.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "link/version.h"
#include "local/interrupt_cleanup.h"
#include "local/platform.h"
#include "local/progress.h"
#include "tool/command_table.h"
#include "tool/global_options.h"
#include "tool/json_output.h"
#include "tool/tool.h"

namespace rq {

namespace {

constexpr const char* kUsageLine =
    "usage: rqtool [OPTIONS] COMMAND [ARGS...]  (rqtool --help lists the commands)";

constexpr const char* kFooter =
    "Device paths are relative to /: every run is a new connection.\n"
    "Exit status: 0 success, 1 the device refused or answered a non-zero status, 2 usage,\n"
    "3 link (connect, lost, time-out, bad frame, ping out of sync), 4 local file,\n"
    "5 verification, 6 diag cancelled; killed by the signal on SIGINT, SIGTERM or SIGHUP.\n"
    "--json: one JSON object on standard output for every outcome (see rqtool(1)).";

// A usage error found on the command line: the failure, then the usage line.
int command_line_error(Tool& t, const std::string& text) {
  usage_fail(t, text);
  if (t.text_errors) fprintf(t.err, "%s\n", kUsageLine);
  return kExitUsage;
}

// The whole command line's parser: the global options, then the table's commands.
void declare_command_line(CLI::App& app, Tool& t, GlobalOptionsDeclared& declared,
                          std::vector<ToolCommand>& commands) {
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("rqtool ") + kVersion);
  app.require_subcommand(1);
  // Device paths begin with a slash: never read them as Windows-style options (subcommands
  // inherit this when they are made, and so they do the policy below and the footer).
  app.allow_windows_style_options(false);
  // A repeated option takes its last value, as a wrapper script adding defaults expects.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  declare_global_options(app, t, declared);
  declare_commands(app, commands);
}

// Why the command line could not be parsed, as a usage error naming the command when one
// was recognised.
int parse_failure(Tool& t, const CLI::App& app, const std::vector<std::string>& args,
                  const CLI::ParseError& e) {
  std::string word = command_word(app, args);
  if (word.empty()) return command_line_error(t, "no command given");
  auto named = [&word](const CLI::App* sub) { return sub->get_name() == word; };
  if (app.get_subcommands(named).empty())
    return command_line_error(t, "unknown command '" + word + "'");
  t.command = word;
  return command_line_error(t, e.what());
}

// Parses args. True when a command is to run; otherwise *status is the run's exit status
// (0 after --help and --version).
bool parse_command_line(CLI::App& app, Tool& t, const std::vector<std::string>& args, int* status) {
  // CLI11 takes the arguments in reverse, without the program's name.
  std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);
  try {
    app.parse(reversed);
  } catch (const CLI::Success& e) {  // --help or --version
    app.exit(e);
    *status = kExitOk;
    return false;
  } catch (const CLI::ParseError& e) {
    *status = parse_failure(t, app, args, e);
    return false;
  }
  return true;
}

int run_tool(Tool& t, std::vector<std::string> args) {
  CLI::App app{"rqtool: one-shot commands for the device behind the proxy", "rqtool"};
  GlobalOptionsDeclared declared;
  std::vector<ToolCommand> commands = tool_commands();
  declare_command_line(app, t, declared, commands);
  take_early_options(app, args, t);
  int status = kExitOk;
  if (!parse_command_line(app, t, args, &status)) return status;
  t.options.timeout_given = declared.timeout->count() > 0;
  ToolCommand* command = parsed_command(commands);
  if (!command) return command_line_error(t, "no command given");
  t.command = command->name;
  if (!t.options.quiet) progress_on_stderr(t.progress);
  std::string problem = command->check(t);
  if (!problem.empty()) return command_line_error(t, problem);
  if (open_trace(t) != 0) return t.failure.status;
  return command->run(t);
}

}  // namespace

int tool_main(int argc, char** argv) {
  install_interrupt_cleanup(kEveryInterrupt, WindowsInterruptExit::kStatus130);
  std::vector<std::string> args(argv, argv + argc);
  // The device's buffers are large; keep them off the stack.
  auto tool = std::make_unique<Tool>();
  int status = run_tool(*tool, args);
  stderr_restore_mode();  // the progress line may have switched the console's mode
  // Commands without a result of their own, and usage errors, end with the bare object.
  if (tool->json) write_json(*tool, status, nlohmann::ordered_json::object());
  fflush(tool->out);
  if (tool->device.link.socket != kNoSocket) link_close(tool->device.link);
  if (tool->trace && tool->trace != stderr) fclose(tool->trace);
  return status;
}

}  // namespace rq
