// The command table as the parser sees it: each row's subcommand, the group whose commands
// are named with two words, the destination taken from the end of a transfer's paths, and
// the checks the parser cannot make.
#include "tool/command_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rq {
namespace {

struct Parsed {
  bool ok = false;
  std::string command;  // the row's name
  std::string problem;  // what its check says
};

Parsed parse(Tool& t, std::vector<std::string> args) {
  CLI::App app;
  app.require_subcommand(1);
  std::vector<ToolCommand> commands = tool_commands();
  declare_commands(app, commands);
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  Parsed p;
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError&) {
    return p;
  }
  ToolCommand* c = parsed_command(commands);
  if (!c) return p;
  p.ok = true;
  p.command = c->name;
  p.problem = c->check(t);
  return p;
}

TEST(CommandTable, EachCommandLineFindsItsRowAndItsChecks) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool json;
    bool ok;
    const char* command;
    const char* problem;
  };
  const Row rows[] = {
      {"one word", {"ls", "-l", "/"}, false, true, "ls", ""},
      {"two words", {"boot", "write", "--no-verify", "2", "img"}, false, true, "boot write", ""},
      {"a group alone", {"boot"}, false, false, "", ""},
      {"a required argument missing", {"mv", "/a"}, false, false, "", ""},
      {"a value out of range", {"boot", "read", "4", "f"}, false, false, "", ""},
      {"an unknown test", {"diag", "usbx"}, false, false, "", ""},
      {"format without --yes",
       {"format"},
       false,
       true,
       "format",
       "format erases the device: give --yes to go ahead"},
      {"format with --yes", {"format", "--yes"}, false, true, "format", ""},
      {"several sources, the last one the destination",
       {"get", "/a", "/b", "-"},
       true,
       true,
       "get",
       "--json: get to standard output would mix the file with the JSON"},
      {"standard output without --json", {"get", "/a", "-"}, false, true, "get", ""},
      {"a source named - is no destination", {"get", "-", "/b"}, true, true, "get", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto t = std::make_unique<Tool>();
    t->json = row.json;
    Parsed p = parse(*t, row.args);
    EXPECT_EQ(p.ok, row.ok);
    EXPECT_EQ(p.command, row.command);
    EXPECT_EQ(p.problem, row.problem);
  }
}

}  // namespace
}  // namespace rq
