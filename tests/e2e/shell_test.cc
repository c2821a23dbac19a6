// The real rqshell against the real rqsim: the command-line forms, start-up failures,
// scripts (including `s` and the hand-over to the console), quit, unknown commands and help.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "support/console_text.h"

namespace rq::e2e {
namespace {

using rq::testing::kExpectedHelp;
constexpr const char* kHelp = kExpectedHelp;

constexpr int kStartupFailure = 255;  // -1 from main, as the platform reports it

// A loopback port that nothing listens on: bound once by the kernel's choice, then released.
int closed_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

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
                   "Cannot open file missing.rq !!\n> "}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

// The command-line forms that reach the simulator, and every form that ends at start-up.
TEST_F(ShellRun, CommandLineForms) {
  write_file(dir_ / "quit.rq", "x\nq\n");
  const std::string shell = rqshell_bin();
  const std::string closed = std::to_string(closed_port());
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
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
           listen(listener_, 4) == 0;
  }
  // Serves one connection: reads the no-wait ping (code 1, value 0) and answers value 1.
  void serve_one() {
    thread_ = std::thread([this] {
      // Bounded waits, so a shell that never comes cannot hang the test.
      pollfd p = {listener_, POLLIN, 0};
      if (poll(&p, 1, 20000) != 1) return;
      int s = accept(listener_, nullptr, nullptr);
      if (s < 0) return;
      timeval limit = {20, 0};
      setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      unsigned char ping[12];
      size_t got = 0;
      while (got < sizeof ping) {
        ssize_t n = recv(s, ping + got, sizeof ping - got, 0);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      received_.assign(ping, ping + got);
      const unsigned char reply[12] = {0x41, 0x67, 0, 8, 0, 0, 0, 0, 1, 0, 0, 0};
      if (send(s, reply, sizeof reply, MSG_NOSIGNAL) == sizeof reply) {
        char rest[64];
        while (recv(s, rest, sizeof rest, 0) > 0) {
        }
      }
      close(s);
    });
  }
  std::vector<unsigned char> finish() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }
  ~DefaultProxy() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }

 private:
  int listener_ = -1;
  std::thread thread_;
  std::vector<unsigned char> received_;
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
    std::vector<unsigned char> ping = proxy.finish();
    EXPECT_FALSE(run.timed_out);
    if (run.timed_out) continue;
    EXPECT_EQ(run.out, k.out);
    EXPECT_EQ(run.exit_status, 0);
    // The no-wait ping: frame header, code 1, value 0 (bytes 5-7 are not assigned).
    EXPECT_EQ(ping.size(), 12u);
    if (ping.size() != 12u) continue;
    const unsigned char expected[12] = {0x41, 0x67, 0, 8, 1, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i : {0, 1, 2, 3, 4, 8, 9, 10, 11}) EXPECT_EQ(ping[i], expected[i]) << "byte " << i;
  }
}

}  // namespace
}  // namespace rq::e2e
