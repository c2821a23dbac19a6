// The one walk over the global options: which arguments are options, which are their values,
// where the command begins, and that --json and --trace are taken only from before it.
#include "tool/global_options.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rq {
namespace {

TEST(GlobalOptions, EarlyOptionsAreTakenOnlyBeforeTheCommandAndNeverAsAValue) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool json;
    bool trace;
    const char* trace_file;
    std::vector<std::string> left;  // what CLI11 then parses
    const char* word;               // the command's word
  };
  const Row rows[] = {
      {"both taken",
       {"rqtool", "--json", "--trace=f.log", "ping"},
       true,
       true,
       "f.log",
       {"rqtool", "ping"},
       "ping"},
      {"a bare --trace goes to standard error",
       {"rqtool", "--trace", "ls", "/"},
       false,
       true,
       "",
       {"rqtool", "ls", "/"},
       "ls"},
      {"the value of -H",
       {"rqtool", "-H", "--json", "ping"},
       false,
       false,
       "",
       {"rqtool", "-H", "--json", "ping"},
       "ping"},
      {"the value of --port",
       {"rqtool", "--port", "--trace", "ver"},
       false,
       false,
       "",
       {"rqtool", "--port", "--trace", "ver"},
       "ver"},
      {"a flag takes no value",
       {"rqtool", "-q", "--json", "ls"},
       true,
       false,
       "",
       {"rqtool", "-q", "ls"},
       "ls"},
      {"after the command",
       {"rqtool", "-t", "5", "ping", "--json", "--trace"},
       false,
       false,
       "",
       {"rqtool", "-t", "5", "ping", "--json", "--trace"},
       "ping"},
      {"after --",
       {"rqtool", "--", "--json"},
       false,
       false,
       "",
       {"rqtool", "--", "--json"},
       "--json"},
      {"--trace with a word after it names no file",
       {"rqtool", "--tracex", "ping"},
       false,
       false,
       "",
       {"rqtool", "--tracex", "ping"},
       "ping"},
      {"no command", {"rqtool", "-w", "2"}, false, false, "", {"rqtool", "-w", "2"}, ""},
      {"a value missing at the end", {"rqtool", "-p"}, false, false, "", {"rqtool", "-p"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto t = std::make_unique<Tool>();
    CLI::App app;
    GlobalOptionsDeclared declared;
    declare_global_options(app, *t, declared);
    std::vector<std::string> args = row.args;
    take_early_options(app, args, *t);
    EXPECT_EQ(t->json, row.json);
    EXPECT_EQ(t->out, row.json ? stderr : stdout);
    EXPECT_EQ(t->options.trace, row.trace);
    EXPECT_EQ(t->options.trace_file, row.trace_file);
    EXPECT_EQ(args, row.left);
    EXPECT_EQ(command_word(app, args), row.word);
  }
}

}  // namespace
}  // namespace rq
