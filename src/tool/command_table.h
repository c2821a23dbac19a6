// rqtool's commands, one row each: the name (two words for a command of a group, such as
// "boot write"), the summary the help shows, how the command declares its options and
// arguments on its subcommand (required ones required, each command's arguments a struct of
// their own), what it checks that the parser cannot, and how it runs: a function that returns
// the exit status. The rows' order is the help's.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tool/tool.h"

namespace rq {

struct ToolCommand {
  std::string name;
  std::string summary;
  // Adds the command's options and arguments to its subcommand; parsing fills the row's own
  // arguments.
  std::function<void(CLI::App& sub)> declare;
  // After parsing, before anything is opened: the usage problem the parser cannot see (an
  // option that must be given, two that do not go together), or "".
  std::function<std::string(const Tool& t)> check;
  std::function<int(Tool& t)> run;
  CLI::App* sub = nullptr;  // set by declare_commands
};

// A row over the command's own arguments (Args), which the row keeps.
template <typename Args>
ToolCommand command_row(std::string name, std::string summary,
                        void (*declare)(CLI::App& sub, Args& a), int (*run)(Tool& t, const Args& a),
                        std::string (*check)(const Tool& t, const Args& a) = nullptr) {
  auto args = std::make_shared<Args>();
  ToolCommand c;
  c.name = std::move(name);
  c.summary = std::move(summary);
  c.declare = [declare, args](CLI::App& sub) { declare(sub, *args); };
  c.check = [check, args](const Tool& t) { return check ? check(t, *args) : std::string(); };
  c.run = [run, args](Tool& t) { return run(t, *args); };
  return c;
}

// The table.
std::vector<ToolCommand> tool_commands();

// Adds each command to app as a subcommand, a command of a group ("boot read") under the
// group's subcommand, which then requires one of its commands.
void declare_commands(CLI::App& app, std::vector<ToolCommand>& commands);

// The command the parsed command line named, or nullptr.
ToolCommand* parsed_command(std::vector<ToolCommand>& commands);

}  // namespace rq
