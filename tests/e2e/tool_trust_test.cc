// What a production line's trial of rqtool found reporting success, or the wrong status, for
// what did not happen, each row against the real rqsim: the exit status a calling script
// sees, the line that says why, and what must not have been made. The destination rules of
// put and get (a DEST ending in /) are rows of ToolTree.DestinationsFollowCpsRules.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"
#include "support/peer.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

using nlohmann::json;

class ToolTrust : public ToolTest {
 protected:
  std::string scratch(const std::string& name) const { return dir_ / name; }
};

// Whether out is exactly one JSON object on one line.
bool one_json_object(const std::string& out) {
  if (out.empty() || out.back() != '\n' || out.find('\n') != out.size() - 1) return false;
  json j = json::parse(out, nullptr, false);
  return !j.is_discarded() && j.is_object();
}

TEST_F(ToolTrust, EachRunEndsWithTheStatusOfWhatHappened) {
  struct Row {
    const char* name;  // the row, then what the run does
    std::vector<std::string> sim_args;
    std::vector<std::string> args;
    int exit;
    std::string err = "";                   // a part of standard error
    std::vector<std::string> out_has = {};  // parts of standard output
    std::string stdin_text = "";
    const char* not_made = nullptr;  // under the scratch directory
    bool proxy_busy = false;         // another client holds rqsim meanwhile
  };
  const std::string blanks(1020, ' ');
  const Row rows[] = {
      {"1: put without a destination", {}, {"put", "f.txt"}, kExitUsage, "DEST is required"},
      {"1: get without a destination",
       {},
       {"get", "/docs/readme.txt"},
       kExitUsage,
       "DEST is required"},
      {"1: put -r without a destination, as JSON",
       {},
       {"--json", "put", "-r", "tree"},
       kExitUsage,
       "",
       {"\"text\":\"DEST is required\""}},
      {"2: a line past 1023 characters runs no piece of it",
       {},
       {"run", "long.rq"},
       kExitUsage,
       "long.rq:1: line longer than 1023 characters\n",
       {},
       "",
       "root/victim"},
      {"2: a line of 1023 characters and CR LF is one command", {}, {"run", "fits.rq"}, kExitOk},
      {"2: a line of 1024 characters is refused",
       {},
       {"run", "over.rq"},
       kExitUsage,
       "over.rq:2: line longer than 1023 characters\n"},
      {"3: a directory is no script", {}, {"run", "sdir"}, kExitLocalFile, "sdir"},
      {"3: nor is it after s",
       {},
       {"run", "sdir.rq"},
       kExitLocalFile,
       "sdir.rq:1: s sdir\n",
       {"Cannot open file sdir !!\n"},
       "",
       "root/never"},
      {"4: a diagnostic's answers end: no verdict",
       {},
       {"run", "diags.rq"},
       kExitUsage,
       "diags.rq:2: diag gba\n",
       {" X GBA Test Failed \n"},
       "",
       "root/never"},
      {"5: --json --version",
       {},
       {"--json", "--version"},
       kExitOk,
       "rqtool ",
       {"\"version\":\"", "\"program\":\"rqtool\""}},
      {"5: --json --help", {}, {"--json", "--help"}, kExitOk, "Usage", {"\"error\":null"}},
      {"6: a ping answered with a status",
       {"--status", "ping=8"},
       {"ping"},
       kExitDevice,
       "rqtool: ping: ran out of inodes (status 8)\n"},
      {"7: a download cut off counts nothing",
       {"--drop", "get:20000"},
       {"--json", "get", "/big", "big.out"},
       kExitLink,
       "",
       {"\"files\":0,\"bytes\":0,"}},
      {"7: a download into a full disk counts nothing",
       {},
       {"--json", "get", "/big", "/dev/full"},
       kExitLocalFile,
       "",
       {"\"files\":0,\"bytes\":0,"}},
      {"7: a tree cut off in its second file counts the first",
       {"--drop", "get:20000"},
       {"--json", "get", "-r", "/t", "t.out"},
       kExitLink,
       "",
       {"\"files\":1,\"directories\":1,\"bytes\":1000,"}},
      {"9: a proxy busy with another client says so",
       {},
       {"-t", "1", "ping"},
       kExitLink,
       "accepted the connection but did not answer the start-up ping within 1 s: a proxy "
       "serves one client at a time",
       {},
       "",
       nullptr,
       true},
      {"11: a file that says it is empty and is not",
       {},
       {"put", "/proc/self/status", "/x"},
       kExitLocalFile,
       "rqtool: put /proc/self/status /x: /proc/self/status yields bytes although its size says "
       "0; nothing was sent\n",
       {},
       "",
       "root/x"},
      {"11: sync checks a source the same way",
       {},
       {"sync", "-L", "procs", "/procs"},
       kExitLocalFile,
       "procs/status yields bytes although its size says 0; nothing was sent\n",
       {},
       "",
       "root/procs/status"},
      {"11: and an existing device file stays",
       {},
       {"put", "/proc/self/status", "/keep"},
       kExitLocalFile},
      {"12: names are escaped in text",
       {},
       {"ls", "/odd"},
       kExitOk,
       "",
       {"a\\nfake\n", "b\\\\x\n", "c\\x1b[7m\n"}},
      {"12: and exact in JSON",
       {},
       {"--json", "ls", "/odd"},
       kExitOk,
       "",
       {"\"name\":\"a\\nfake\"", "\"name\":\"b\\\\x\"", "\"name\":\"c\\u001b[7m\""}},
      {"12: and in sync's lines",
       {},
       {"sync", "--pull", "--dry-run", "/odd", "copy"},
       kExitOk,
       "",
       {"copy/a\\nfake (new)\n", "copy/b\\\\x (new)\n", "copy/c\\x1b[7m (new)\n"},
       "",
       "copy"},
      {"13: mkdir -p through a file",
       {},
       {"mkdir", "-p", "/a/f/b"},
       kExitDevice,
       "rqtool: mkdir -p /a/f/b: /a/f is a file, not a directory\n"},
      {"13: put whose destination the device will not list",
       {"--refuse", "ls:2=3"},
       {"put", "-r", "tree", "/z"},
       kExitDevice,
       "rqtool: put: /z: access failed (status 3)\n"},
  };
  for (const char* dir : {"tree", "sdir", "procs"}) fs::create_directories(scratch(dir));
  fs::create_symlink("/proc/self/status", scratch("procs/status"));
  for (const char* dir : {"docs", "t", "a", "odd"}) fs::create_directories(root() + "/" + dir);
  write_file(scratch("f.txt"), "f");
  write_file(scratch("tree/in.txt"), "in");
  write_file(scratch("long.rq"), "ver" + blanks + "mkdir /victim\n");
  write_file(scratch("fits.rq"), "ls" + std::string(1021, ' ') + "\r\nmkdir /second\n");
  write_file(scratch("over.rq"), "mkdir /first\nls" + std::string(1022, ' ') + "\n");
  write_file(scratch("sdir.rq"), "s sdir\nmkdir /never\n");
  write_file(scratch("diags.rq"), "diag usb\ndiag gba\nmkdir /never\n");
  write_file(root() + "/docs/readme.txt", "readme");
  write_file(root() + "/big", random_bytes(200000, 20));
  write_file(root() + "/t/a", random_bytes(1000, 21));
  write_file(root() + "/t/b", random_bytes(100000, 22));
  write_file(root() + "/a/f", "a file");
  write_file(root() + "/keep", "old");
  for (const char* name : {"a\nfake", "b\\x", "c\x1b[7m"}) write_file(root() + "/odd/" + name, "");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    start(row.sim_args);
    testing::FramedPeer holder;
    if (row.proxy_busy) {
      ASSERT_TRUE(holder.connect(sim_.port));
    }
    e2e::Run r = tool(row.args, row.stdin_text);
    EXPECT_EQ(r.exit_status, row.exit) << describe(row.args, r);
    if (!row.err.empty()) {
      EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    }
    for (const std::string& part : row.out_has)
      EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
    if (row.args[0] == "--json") {
      EXPECT_TRUE(one_json_object(r.out)) << r.out;
    }
    if (row.not_made) {
      EXPECT_FALSE(fs::exists(scratch(row.not_made))) << row.not_made;
    }
  }
  EXPECT_TRUE(fs::is_directory(root() + "/second"));  // fits.rq ran on after its long line
  EXPECT_EQ(read_file(root() + "/keep"), "old");
  EXPECT_FALSE(fs::exists(scratch("big.out")));
  EXPECT_TRUE(testing::leftovers(dir_.path()).empty());
}

// 5: a run ended by a signal still writes its one object: rendered ahead, written by the
// handler before the signal ends the run.
TEST_F(ToolTrust, ASignalEndsAJsonRunWithItsObject) {
  write_file(root() + "/big", random_bytes(4 * 1024 * 1024, 23));
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    start({"--stall", "20"});
    fs::remove(scratch("out.json"));
    int pid = testing::spawn(
        {rqtool_bin(), "-p", std::to_string(sim_.port), "--json", "get", "big", "fresh"},
        dir_.path(), scratch("out.json"), scratch("err.txt"));
    // Until the temporary file shows, so that the download is under way.
    long long deadline = now_ms() + 5000;
    while (now_ms() < deadline && testing::leftovers(dir_.path()).empty()) sleep_ms(5);
    kill(pid, sig);
    int status = wait_for_exit(pid, 10000);
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    const std::string out = read_file(scratch("out.json"));
    ASSERT_TRUE(one_json_object(out)) << out;
    json j = json::parse(out);
    EXPECT_EQ(j["command"], "get");
    EXPECT_EQ(j["exit"], 128 + sig);
    EXPECT_EQ(j["error"]["step"], "signal");
    EXPECT_EQ(j["error"]["code"], sig);
    EXPECT_TRUE(testing::leftovers(dir_.path()).empty());
  }
}

// 10: a reader that closes the pipe early ends the run at once, as it ends cat: killed by
// SIGPIPE, nothing on standard error, nothing left behind.
TEST_F(ToolTrust, AReaderThatLeavesEndsTheRunQuietly) {
  write_file(root() + "/big", random_bytes(4 * 1024 * 1024, 24));
  start();
  const std::string pipe = scratch("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  int pid = testing::spawn({rqtool_bin(), "-p", std::to_string(sim_.port), "get", "big", "-"},
                           dir_.path(), pipe, scratch("err.txt"));
  int reader = open(pipe.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  char first[10];
  EXPECT_EQ(read(reader, first, sizeof first), static_cast<ssize_t>(sizeof first));
  close(reader);  // as head -c 10 does
  int status = wait_for_exit(pid, 30000);
  EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
  EXPECT_EQ(read_file(scratch("err.txt")), "");
}

}  // namespace
}  // namespace rq::e2e
