// The real rqshell against the real rqsim: the command-line forms, start-up failures,
// scripts (including `s` and the hand-over to the console), quit, unknown commands and help.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "link/socket.h"
#include "support/console_text.h"
#include "support/peer.h"
#include "support/wire.h"

namespace rq::e2e {
namespace {

using rq::testing::kExpectedHelp;
constexpr const char* kHelp = kExpectedHelp;

constexpr int kStartupFailure = 255;  // -1 from main, as the platform reports it

class ShellRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(start_sim(sim_, {"--root", dir_ / "root"}, dir_ / "sim.err"))
        << read_file(dir_ / "sim.err");
  }
  void TearDown() override { stop_sim(sim_); }

  std::string port() const { return std::to_string(sim_.port); }

  TempDir dir_;
  Sim sim_;
};

// Each case: the script the shell is started with, the console input, and what it prints.
struct ScriptCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> extra_files;
  std::string script;
  std::string console;
  std::string out;
};

void PrintTo(const ScriptCase& k, std::ostream* os) { *os << k.name; }

class ScriptRun : public ShellRun, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptRun, PrintsExactlyTheExpectedConsoleText) {
  const ScriptCase& k = GetParam();
  for (const auto& [name, text] : k.extra_files) write_file(dir_ / name, text);
  e2e::Run run = run_shell_script(sim_, dir_, k.script, k.console);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.out, k.out);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
}

const std::string kUnknown = "Shell Error: unknown command ";

INSTANTIATE_TEST_SUITE_P(
    Shell, ScriptRun,
    ::testing::Values(
        // In step with the simulator, pings print nothing; q ends the run before the console.
        ScriptCase{"PingsInSyncPrintNothing", {}, "ping\nPING\n  ping\t\nPing n\nq\n", "", ""},
        ScriptCase{"QuitLongerFormsAndCase", {}, "QUIT now\nx\n", "", ""},
        ScriptCase{"UnknownCommand",
                   {},
                   "x\n  zz top \r\nq\n",
                   "",
                   kUnknown + "<x>\n" + kUnknown + "<zz top >\n"},
        ScriptCase{"HelpForHAndQuestionMark",
                   {},
                   "h\n?\nhello\nq\n",
                   "",
                   std::string(kHelp) + kHelp + kHelp},
        // The script runs out: the console takes over, prompting, until its input ends.
        ScriptCase{"ScriptEndsConsoleContinues",
                   {},
                   "ping\nx\n",
                   "ping\ny\n\n",
                   kUnknown + "<x>\n> > " + kUnknown + "<y>\n> > "},
        ScriptCase{"ConsoleQuitStopsReading", {}, "", "q\nx\n", "> "},
        // `s` replaces the running script for good; the rest of the first one never runs.
        ScriptCase{"RunScriptNeverReturns",
                   {{"second.rq", "ping\nx2\n"}},
                   "s second.rq\nfirst\nq\n",
                   "third\n",
                   kUnknown + "<x2>\n> " + kUnknown + "<third>\n> "},
        ScriptCase{"RunScriptMissingFallsBackToConsole",
                   {},
                   "s missing.rq\nfirst\nq\n",
                   "",
                   "Cannot open file missing.rq !!\n> "},
        // A directory is no script: it cannot be opened, as on every platform.
        ScriptCase{"RunScriptDirectoryFallsBackToConsole",
                   {},
                   "s .\nfirst\nq\n",
                   "",
                   "Cannot open file . !!\n> "}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

// The command-line forms that reach the simulator, and every form that ends at start-up.
TEST_F(ShellRun, CommandLineForms) {
  write_file(dir_ / "quit.rq", "x\nq\n");
  const std::string shell = rqshell_bin();
  const std::string closed = std::to_string(testing::free_loopback_port());
  struct {
    const char* what;
    std::vector<std::string> argv;
    std::string console;
    std::string out;
    int status;
  } cases[] = {
      {"server port", {shell, "127.0.0.1", port()}, "x\nq\n", "> " + kUnknown + "<x>\n> ", 0},
      {"script server port", {shell, "quit.rq", "127.0.0.1", port()}, "", kUnknown + "<x>\n", 0},
      // Checked before any connection is tried: the closed port would add its own line.
      {"four arguments", {shell, "quit.rq", "127.0.0.1", closed, "x"}, "", kHelp, kStartupFailure},
      {"script missing",
       {shell, "nothere.rq", "127.0.0.1", closed},
       "",
       "Cannot open given cmd script file nothere.rq\n",
       kStartupFailure},
      {"script that is a directory",
       {shell, ".", "127.0.0.1", closed},
       "",
       "Cannot open given cmd script file .\n",
       kStartupFailure},
      {"script alone missing",
       {shell, "nothere.rq"},
       "",
       "Cannot open given cmd script file nothere.rq\n",
       kStartupFailure},
      {"no proxy",
       {shell, "127.0.0.1", closed},
       "q\n",
       "Cannot connect to DX proxy program\n",
       kStartupFailure},
      {"host name",
       {shell, "localhost", port()},
       "q\n",
       "Cannot connect to DX proxy program\n",
       kStartupFailure},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    e2e::Run run = run_program(k.argv, k.console, 30000, dir_.path());
    EXPECT_FALSE(run.timed_out);
    if (run.timed_out) continue;
    EXPECT_EQ(run.out, k.out);
    EXPECT_EQ(run.exit_status, k.status);
  }
}

// Forms without server and port go to 127.0.0.1:20025. A stand-in proxy listens there (the
// test is skipped when the port is taken) and answers the start-up ping.
class DefaultProxy {
 public:
  bool listen_on(int port) {
    int bound = 0;
    listener_ = socket_listen_ipv4("127.0.0.1", port, &bound);
    return listener_ != kNoSocket;
  }
  // Serves one connection: reads the no-wait ping (code 1, value 0) and answers value 1.
  void serve_one() {
    thread_ = std::thread([this] {
      // Bounded waits, so a shell that never comes cannot hang the test.
      testing::FramedPeer shell(20000);
      std::string ping;
      if (!shell.accept(listener_) || !shell.receive(&ping)) return;
      received_ = shell.last_header() + ping;
      std::string rest;
      if (shell.send_frame(testing::message(0, 1)))
        while (shell.receive(&rest)) {
        }
    });
  }
  // The frame the shell sent first, header and all.
  std::string finish() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }
  ~DefaultProxy() {
    if (thread_.joinable()) thread_.join();
    if (listener_ != kNoSocket) socket_close(listener_);
  }

 private:
  SocketHandle listener_ = kNoSocket;
  std::thread thread_;
  std::string received_;
};

TEST(ShellDefaults, NoServerArgumentsMeanLoopbackPort20025) {
  TempDir dir;
  write_file(dir / "quit.rq", "x\nq\n");
  struct {
    const char* what;
    std::vector<std::string> argv;
    std::string console;
    std::string out;
  } cases[] = {
      {"no arguments", {rqshell_bin()}, "x\n", "> " + kUnknown + "<x>\n> "},
      {"script", {rqshell_bin(), "quit.rq"}, "", kUnknown + "<x>\n"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    DefaultProxy proxy;
    if (!proxy.listen_on(20025)) GTEST_SKIP() << "port 20025 is in use on this machine";
    proxy.serve_one();
    e2e::Run run = run_program(k.argv, k.console, 30000, dir.path());
    std::string ping = proxy.finish();
    EXPECT_FALSE(run.timed_out);
    if (run.timed_out) continue;
    EXPECT_EQ(run.out, k.out);
    EXPECT_EQ(run.exit_status, 0);
    // The no-wait ping: frame header, code 1, value 0 (bytes 5-7 are not assigned).
    EXPECT_TRUE(testing::wire_matches("41 67 00 08 01 xx xx xx 00 00 00 00", ping))
        << testing::hex(ping);
  }
}

}  // namespace
}  // namespace rq::e2e
