// rqtool where time and scripts matter, against the real rqsim: command scripts that stop at
// the first failure (or go on with --keep-going), a proxy that comes up only after rqtool
// started, a proxy that stops answering, and downloads interrupted by a signal.
#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e/tool_fixture.h"
#include "support/peer.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

class ToolRun : public ToolTest {
 protected:
  // rqtool run [options] script.rq, the script written into the scratch directory.
  e2e::Run run_script(const std::string& script, const std::vector<std::string>& options = {},
                      const std::string& stdin_text = "") {
    write_file(dir_ / "script.rq", script);
    std::vector<std::string> args = {"run"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("script.rq");
    return tool(args, stdin_text);
  }
};

const char kMkdirExists[] = "ERROR: file already exists \nmkdir command failed errcode = 7\n";

TEST_F(ToolRun, StopsAtTheFirstFailingLine) {
  start();
  e2e::Run r = run_script("mkdir a\nmkdir a\nmkdir b\nq\n");
  EXPECT_EQ(r.exit_status, kExitDevice) << r.err;
  EXPECT_EQ(r.out, kMkdirExists);  // the shell's own console text
  EXPECT_NE(r.err.find("script.rq:2: mkdir a"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_directory(root() + "/a"));
  EXPECT_FALSE(fs::exists(root() + "/b"));
}

TEST_F(ToolRun, KeepGoingRunsEveryLineAndExitsWithTheFirstFailure) {
  start();
  e2e::Run r = run_script("put no-such-file x\nmkdir a\nmkdir a\nmkdir b\n", {"--keep-going"});
  EXPECT_EQ(r.exit_status, kExitLocalFile) << r.err;
  EXPECT_NE(r.err.find("script.rq:1: put no-such-file x"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("script.rq:3: mkdir a"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_directory(root() + "/b"));
}

TEST_F(ToolRun, OutcomesOfScriptLines) {
  fs::create_directories(root() + "/logs");
  write_file(root() + "/logs/a", "log");
  write_file(dir_ / "other.rq", "mkdir c\nmkdir c\n");
  struct Case {
    const char* name;
    std::string script;
    std::string stdin_text;
    int exit;
    std::string err = "";
  } cases[] = {
      {"all pass", "mkdir ok1\nls\nping\n", "", kExitOk},
      {"q ends the run", "q\nmkdir never\n", "", kExitOk},
      {"unknown command", "mkdir ok2\nfrobnicate\n", "", kExitUsage},
      {"s switches files", "s other.rq\nmkdir never\n", "", kExitDevice, "other.rq:2: mkdir c"},
      {"diag gba answered yes", "diag gba\n", "y\n", kExitOk},
      {"diag gba answered no", "diag gba\nmkdir never\n", "n\n", kExitDevice,
       "script.rq:1: diag gba"},
      {"get whose local write fails", "get logs/a no/such/dir\nmkdir never\n", "", kExitLocalFile,
       "script.rq:1: get logs/a no/such/dir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root() + "/c");
    start();
    e2e::Run r = run_script(c.script, {}, c.stdin_text);
    EXPECT_EQ(r.exit_status, c.exit) << r.out << r.err;
    if (!c.err.empty()) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(root() + "/never"));
  }
  EXPECT_TRUE(fs::is_directory(root() + "/ok1"));

  e2e::Run r = tool({"run", "no-such-script.rq"});
  EXPECT_EQ(r.exit_status, kExitLocalFile) << r.err;
}

TEST_F(ToolRun, EchoShowsEachCommandBeforeItRuns) {
  start();
  e2e::Run r = run_script("mkdir e\nmkdir e\n", {"--echo", "--keep-going"});
  EXPECT_EQ(r.exit_status, kExitDevice) << r.err;
  EXPECT_EQ(r.out, std::string("> mkdir e\n> mkdir e\n") + kMkdirExists);
}

TEST_F(ToolRun, WaitsForAProxyThatStartsLater) {
  const int port = testing::free_loopback_port();
  ASSERT_GT(port, 0);
  e2e::Run r;
  std::thread waiting([&] {
    r = run_program({rqtool_bin(), "-p", std::to_string(port), "-t", "2", "-w", "20", "ping"}, "",
                    60000, dir_.path());
  });
  sleep_ms(1000);
  // start_sim's own "--port 0" comes first; the later option wins.
  const bool started =
      start_sim(sim_, {"--root", root(), "--port", std::to_string(port)}, dir_ / "sim.err");
  waiting.join();
  ASSERT_TRUE(started) << read_file(dir_ / "sim.err");
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_status, kExitOk) << r.err;
  EXPECT_NE(r.out.find("1 pings: "), std::string::npos) << r.out;

  // Without --wait, one try only.
  stop_sim(sim_);
  r = run_program({rqtool_bin(), "-p", std::to_string(port), "ping"}, "", 30000, dir_.path());
  EXPECT_EQ(r.exit_status, kExitLink) << r.err;
  // With a wait that runs out before anything listens.
  r = run_program({rqtool_bin(), "-p", std::to_string(port), "-w", "1", "ping"}, "", 30000,
                  dir_.path());
  EXPECT_EQ(r.exit_status, kExitLink) << r.err;
}

TEST_F(ToolRun, GivesUpOnAProxyThatStopsAnswering) {
  start({"--stall", "5000"});
  for (std::vector<std::string> args :
       {std::vector<std::string>{"ping"}, {"ls"}, {"-w", "2", "ping"}}) {
    std::vector<std::string> argv = {"-t", "0.5"};
    argv.insert(argv.end(), args.begin(), args.end());
    // A tool that ignores -t would be killed by the harness at 30 s and fail here.
    e2e::Run r = tool(argv, "", 30000);
    EXPECT_EQ(r.exit_status, kExitLink) << describe(argv, r);
    EXPECT_NE(r.err, "");
    start({"--stall", "5000"});  // a fresh proxy: the last one may still be stalling
  }
}

// rqtool started in the background, its standard error in dir/tool.err, so that it can be
// signalled; ignored: a signal it starts with ignored, as under nohup. Returns its pid.
int spawn_tool(const std::vector<std::string>& args, const std::string& dir, int ignored = 0) {
  std::vector<std::string> argv = {rqtool_bin()};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::spawn(argv, dir, "", dir + "/tool.err", ignored);
}

TEST_F(ToolRun, AnInterruptedGetLeavesNothingBehind) {
  // 4 MiB in 256 chunks, each delayed: the download is still running when the signal comes.
  write_file(root() + "/big", random_bytes(4 * 1024 * 1024, 8));
  write_file(dir_ / "kept", "precious");
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    start({"--stall", "20"});
    const std::set<std::string> before = dir_.entries();
    for (const char* target : {"fresh", "kept"}) {
      SCOPED_TRACE(target);
      int pid = spawn_tool({"-p", std::to_string(sim_.port), "get", "big", target}, dir_.path());
      // Until the temporary file shows (a slow build may take a while), so data is on its way.
      long long deadline = now_ms() + 5000;
      while (now_ms() < deadline && dir_.entries().size() <= before.size() + 1) sleep_ms(5);
      EXPECT_GT(dir_.entries().size(), before.size() + 1) << "no temporary file showed";
      sleep_ms(200);
      kill(pid, sig);
      int status = wait_for_exit(pid, 10000);
      EXPECT_NE(status, -1) << "rqtool did not end after the signal";
      EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == sig)
          << "wait status " << status << ": " << read_file(dir_ / "tool.err");
      fs::remove(dir_ / "tool.err");
      EXPECT_EQ(dir_.entries(), before);
      EXPECT_EQ(read_file(dir_ / "kept"), "precious");
      start({"--stall", "20"});
    }
  }
}

// Started under nohup, rqtool keeps ignoring SIGHUP: the download ends as if none came.
TEST_F(ToolRun, ASignalIgnoredAtStartStaysIgnored) {
  const std::string data = random_bytes(1024 * 1024, 9);
  write_file(root() + "/big", data);
  start({"--stall", "20"});
  const std::set<std::string> before = dir_.entries();
  int pid =
      spawn_tool({"-p", std::to_string(sim_.port), "get", "big", "fresh"}, dir_.path(), SIGHUP);
  long long deadline = now_ms() + 5000;
  while (now_ms() < deadline && dir_.entries().size() <= before.size() + 1) sleep_ms(5);
  EXPECT_GT(dir_.entries().size(), before.size() + 1) << "no temporary file showed";
  kill(pid, SIGHUP);
  int status = wait_for_exit(pid, 30000);
  ASSERT_NE(status, -1) << "rqtool did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitOk)
      << "status " << status << ": " << read_file(dir_ / "tool.err");
  EXPECT_TRUE(read_file(dir_ / "fresh") == data) << "the download is not the device's file";
}

// An interrupted upload cannot be taken back: rqtool still ends by the signal, and says that
// the device may hold part of the file.
TEST_F(ToolRun, AnInterruptedPutEndsByTheSignalAndSaysSo) {
  write_file(dir_ / "big", random_bytes(4 * 1024 * 1024, 13));
  start({"--stall", "20"});
  int pid = spawn_tool({"-p", std::to_string(sim_.port), "put", "big", "/big"}, dir_.path());
  sleep_ms(500);
  kill(pid, SIGINT);
  int status = wait_for_exit(pid, 10000);
  ASSERT_NE(status, -1) << "rqtool did not end after the signal";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_NE(read_file(dir_ / "tool.err"), "");
}

// The file being sent grows or shrinks under rqtool: the run stops with a local-file error
// and the device keeps nothing of it (rqsim commits an upload only when it is complete).
TEST_F(ToolRun, APutWhoseFileChangesStopsWithALocalFileError) {
  struct Case {
    const char* name;
    size_t new_size;
  } cases[] = {{"grows", 5 * 1024 * 1024}, {"shrinks", 100000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir_ / "changing", random_bytes(4 * 1024 * 1024, 11));
    start({"--stall", "20"});
    int pid = spawn_tool({"-p", std::to_string(sim_.port), "put", "changing", "/x"}, dir_.path());
    sleep_ms(500);
    fs::resize_file(dir_ / "changing", c.new_size);
    int status = wait_for_exit(pid, 30000);
    EXPECT_NE(status, -1) << "rqtool did not end";
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == kExitLocalFile)
        << "status " << status << ": " << read_file(dir_ / "tool.err");
    EXPECT_FALSE(fs::exists(root() + "/x"));
  }
}

// A download to standard output on a full disk is a local-file failure, not a success.
TEST_F(ToolRun, GetToAFullDiskFails) {
  write_file(root() + "/big", random_bytes(200000, 12));
  start();
  e2e::Run r = run_program({"sh", "-c", "exec \"$0\" -p \"$1\" get /big - >/dev/full", rqtool_bin(),
                            std::to_string(sim_.port)},
                           "", 30000, dir_.path());
  EXPECT_EQ(r.exit_status, kExitLocalFile) << r.err;
  EXPECT_NE(r.err, "");
}

}  // namespace
}  // namespace rq::e2e
