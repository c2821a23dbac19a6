// The read-dispatch loop: prompts, line normalisation, long lines, scripts, help and quit.
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "fake_proxy.h"
#include "shell/commands.h"
#include "shell/line.h"
#include "support/console_text.h"
#include "support/files.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::frame;
using testing::frames_mismatch;
using testing::hex;

int loop(Shell& c, char*) {
  run_command_loop(c);
  return 0;
}

std::string help_text() {
  FakeProxy p;
  return p.run(
      [](Shell& c, char*) {
        print_help(c);
        return 0;
      },
      "");
}

TEST(TrimLine, CutsAtTheFirstLineEndOrDropsTrailingBlanks) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"cd x\n", "cd x"},   {"cd x  \n", "cd x  "},
      {"cd x\r\n", "cd x"}, {"cd x \t ", "cd x"},
      {"a\rb\n", "a"},      {"", ""},
      {" \t", ""},          {"\n", ""},
  };
  for (const auto& k : cases) {
    std::string s = k.in;
    trim_line(s.data());
    EXPECT_STREQ(s.c_str(), k.out) << k.in;
  }
}

TEST(CommandLoop, PromptsAtTheConsoleAndSkipsBlankLines) {
  FakeProxy p;
  p.ready().status(0, 1);
  p.console("   ping\n\n \t \nx\n?\nhello\n");
  std::string help = help_text();
  EXPECT_EQ(p.run(loop, ""),
            "> > > > Shell Error: unknown command <x>\n> " + help + "> " + help + "> ");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(Dispatch, MatchesKeywordPrefixesInTableOrderAndHandsOnWhatFollows) {
  struct {
    const char* line;
    const char* command;  // the command message, unassigned bytes masked
    std::string path;
  } cases[] = {
      {"rmdir x", "41 67 00 08 07 xx xx xx 06 00 00 00", std::string("dir x\0", 6)},
      {"cdrom", "41 67 00 08 05 xx xx xx 04 00 00 00", std::string("rom\0", 4)},
      {"CD", "41 67 00 08 05 xx xx xx 01 00 00 00", std::string("\0", 1)},
      {"Mkdir a", "41 67 00 08 06 xx xx xx 02 00 00 00", std::string("a\0", 2)},
  };
  for (const auto& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0);
    EXPECT_EQ(p.run(k.line), "") << k.line;
    EXPECT_EQ(frames_mismatch({k.command, hex(frame(k.path))}, p.sent_frames()), "") << k.line;
  }
}

// How each kind of ending reaches the caller, which rqtool's run turns into its exit status.
TEST(Dispatch, ReturnsHowTheCommandEnded) {
  testing::TempDir dir;
  testing::write_file(dir / "img", "abc");
  const std::string img = dir / "img";
  using Play = void (*)(FakeProxy & p);
  Play nothing = [](FakeProxy&) {};
  struct Case {
    const char* what;
    std::string line;
    Play script;
    const char* console;  // the operator's answers
    CommandOutcome outcome;
  } cases[] = {
      {"help", "help", nothing, "", CommandOutcome::kOk},
      {"a ping", "ping", [](FakeProxy& p) { p.ready().status(0, 1); }, "", CommandOutcome::kOk},
      {"a boot write", "wb 1 " + img, [](FakeProxy& p) { p.ready().ready(); }, "",
       CommandOutcome::kOk},
      {"an unknown command", "x", nothing, "", CommandOutcome::kUsage},
      {"a missing argument", "mv onlyone", nothing, "", CommandOutcome::kUsage},
      {"a bad boot number", "wb 7 " + img, nothing, "", CommandOutcome::kUsage},
      {"an unknown test", "diag foo", nothing, "", CommandOutcome::kUsage},
      {"a missing PC file", "put " + (dir / "missing") + " x", nothing, "",
       CommandOutcome::kLocalFile},
      {"a missing script", "s " + (dir / "missing"), nothing, "", CommandOutcome::kLocalFile},
      {"a target in a missing folder", "get a " + (dir / "no/t"), nothing, "",
       CommandOutcome::kLocalFile},
      {"a refusal", "rm x", [](FakeProxy& p) { p.ready(5); }, "", CommandOutcome::kDevice},
      {"a bad status", "rm x", [](FakeProxy& p) { p.ready().ready().status(9); }, "",
       CommandOutcome::kDevice},
      {"a test the operator failed", "diag gba", [](FakeProxy& p) { p.ready().status(0); }, "n\n",
       CommandOutcome::kDevice},
      {"a test whose answers never came", "diag aud", [](FakeProxy& p) { p.ready(); }, "",
       CommandOutcome::kNoAnswer},
      {"a lost status", "rm x", [](FakeProxy& p) { p.ready().ready().hang_up(); }, "",
       CommandOutcome::kLink},
      // -1 is also the code a lost link reports with, and a status of -1 has always been
      // taken for one.
      {"a status of -1", "rm x", [](FakeProxy& p) { p.ready().ready().status(-1); }, "",
       CommandOutcome::kLink},
      {"a ping out of sync", "ping", [](FakeProxy& p) { p.ready().status(0, 7); }, "",
       CommandOutcome::kLink},
      {"a lost data frame", "get a " + (dir / "t"),
       [](FakeProxy& p) { p.ready().ready().status(0, 100).hang_up(); }, "", CommandOutcome::kLink},
      // Nothing is received after wb's last chunk: only the link knows that it never left.
      {"a chunk that cannot be sent", "wb 1 " + img,
       [](FakeProxy& p) { p.ready().ready().vanish(); }, "", CommandOutcome::kLink},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    k.script(p);
    p.hang_up();  // a command that reads more than its row plays fails instead of waiting
    p.console(k.console);
    p.run(k.line);
    EXPECT_EQ(p.outcome(), k.outcome) << k.what;
  }
}

TEST(CommandLoop, QuitsOnQAndItsLongerForms) {
  for (const char* line : {"q\n", "Q\n", "quit\n", "QUIT please\n"}) {
    FakeProxy p;
    p.console(std::string(line) + "x\n");
    EXPECT_EQ(p.run(loop, ""), "> ") << line;
    EXPECT_TRUE(p.shell().quit);
  }
}

TEST(CommandLoop, SplitsLongLinesIntoPiecesOf1023) {
  FakeProxy p;
  std::string a(1023, 'a'), b(477, 'b');
  p.console(a + b + "\n" + a + "\n");
  EXPECT_EQ(p.run(loop, ""), "> Shell Error: unknown command <" + a + ">\n> " +
                                 "Shell Error: unknown command <" + b + ">\n> " +
                                 "Shell Error: unknown command <" + a + ">\n> > ");
}

TEST(CommandLoop, ScriptLinesArePromptlessAndTrimmedLikeConsoleLines) {
  FakeProxy p;
  p.shell().script = tmpfile();
  fputs("x1\r\n  x2  \nx3 \t ", p.shell().script);
  rewind(p.shell().script);
  p.console("x4\n");
  EXPECT_EQ(p.run(loop, ""),
            "Shell Error: unknown command <x1>\nShell Error: unknown command <x2  >\n"
            "Shell Error: unknown command <x3>\n> Shell Error: unknown command <x4>\n> ");
  EXPECT_EQ(p.shell().script, nullptr);
}

class ScriptFiles : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& text) {
    testing::write_file(dir_ / name, text);
    return dir_ / name;
  }
  testing::TempDir dir_;
};

TEST_F(ScriptFiles, RunScriptSwitchesForGoodAndFallsBackToTheConsole) {
  std::string second = write("second", "x2\ns /nonexistent/third\nx3\n");
  std::string first = write("first", "x1\ns  " + second + "\nnever\n");
  FakeProxy p;
  p.console("x4\n");
  std::string line = "s " + first;
  EXPECT_EQ(p.run(
                [](Shell& c, char* cmd) {
                  dispatch_command(c, cmd);
                  run_command_loop(c);
                  return 0;
                },
                line),
            "Shell Error: unknown command <x1>\nShell Error: unknown command <x2>\n"
            "Cannot open file /nonexistent/third !!\n"
            "> Shell Error: unknown command <x4>\n> ");
}

TEST_F(ScriptFiles, WordsStartingWithSRunAScript) {
  write("tatus", "x\n");
  FakeProxy p;
  std::string status_line = "status";
  // "status" names the script "tatus", relative to the working directory.
  std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  p.run(status_line);
  std::filesystem::current_path(cwd);
  ASSERT_NE(p.shell().script, nullptr);
  EXPECT_EQ(p.run(loop, ""), "Shell Error: unknown command <x>\n> ");
}

TEST(ShellMain, WrongArgumentCountPrintsHelpAndFailsBeforeConnecting) {
  FakeProxy p;
  std::string help = help_text();
  EXPECT_EQ(p.run(
                [](Shell& c, char*) {
                  char a0[] = "rqshell", a1[] = "s", a2[] = "127.0.0.1", a3[] = "1", a4[] = "x";
                  char* argv[] = {a0, a1, a2, a3, a4, nullptr};
                  fprintf(c.console_out, "exit %d\n", shell_main(c, 5, argv));
                  return 0;
                },
                ""),
            help + "exit -1\n");
}

// A directory is no script, wherever it is named: it cannot be opened, as a missing file.
TEST_F(ScriptFiles, AMissingScriptOrADirectoryFailsBeforeConnecting) {
  std::filesystem::create_directories(dir_ / "folder");
  for (std::string name : {std::string("/nonexistent/script"), dir_ / "folder"}) {
    SCOPED_TRACE(name);
    FakeProxy p;
    EXPECT_EQ(p.run(
                  [](Shell& c, char* script) {
                    char a0[] = "rqshell";
                    char* argv[] = {a0, script, nullptr};
                    fprintf(c.console_out, "exit %d\n", shell_main(c, 2, argv));
                    return 0;
                  },
                  name),
              "Cannot open given cmd script file " + name + "\nexit -1\n");
  }
}

TEST_F(ScriptFiles, RunningADirectoryFallsBackToTheConsole) {
  std::filesystem::create_directories(dir_ / "folder");
  std::string first = write("first", "s " + (dir_ / "folder") + "\nnever\n");
  FakeProxy p;
  p.shell().script = fopen(first.c_str(), "rb");
  p.console("x\n");
  EXPECT_EQ(p.run(loop, ""), "Cannot open file " + (dir_ / "folder") +
                                 " !!\n> Shell Error: unknown command <x>\n> ");
  EXPECT_EQ(p.shell().script, nullptr);
}

TEST(Help, IsTheFixedTextByteForByte) { EXPECT_EQ(help_text(), testing::kExpectedHelp); }

}  // namespace
}  // namespace rq
