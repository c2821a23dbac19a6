// The global options: those before the command. CLI11 parses most of them; two are taken out
// of the arguments before it does: --trace, whose file comes only as --trace=FILE (so that
// `--trace ping` traces a ping rather than writing the trace into a file named "ping", which
// CLI11 cannot say), and --json, which must be known before parsing so that a usage error is
// presented as JSON too.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace rq {

// What declare_global_options binds beside the run's options.
struct GlobalOptionsDeclared {
  CLI::Option* timeout = nullptr;  // given: it holds even for the commands allowed longer
  // --trace and --json, shown in the help only: take_early_options has taken them out.
  bool trace_shown = false;
  bool json_shown = false;
};

// Declares the global options on app, filling t.options.
void declare_global_options(CLI::App& app, Tool& t, GlobalOptionsDeclared& declared);

// The one walk over the global options of args (args[0] is the program), after app's global
// options are declared: an option of app's that takes a value skips it, "--" ends the options
// and the command follows it, and the first argument not beginning with '-' is the command.
// take, when given, sees each option and takes it out of args by returning true. Returns
// the command's index (args.size() when there is none).
size_t scan_global_options(const CLI::App& app, std::vector<std::string>& args,
                           const std::function<bool(const std::string&)>& take = nullptr);

// The command's word, "" when none is given.
std::string command_word(const CLI::App& app, std::vector<std::string> args);

// Takes --trace[=FILE] and --json out of the global options in args into t.
void take_early_options(const CLI::App& app, std::vector<std::string>& args, Tool& t);

// Opens what --trace asked for and gives it to the link: 0, or kExitLocalFile when the
// trace file cannot be opened.
int open_trace(Tool& t);

}  // namespace rq
