// rqtool's commands against the real rqsim: each one does its work on the device (checked in
// the host directories that hold the device's files and boot images), prints its result on
// standard output, and every class of failure ends with its own exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

std::vector<std::string> sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

class Tool : public ToolTest {};

TEST_F(Tool, HelpAndVersionNeedNoProxy) {
  // No rqsim runs: port 1 on loopback is closed, and none of these may try it.
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        {"-h"},
                                        {"--version"},
                                        {"ping", "--help"},
                                        {"put", "--help"}}) {
    std::vector<std::string> argv = {rqtool_bin(), "-p", "1"};
    argv.insert(argv.end(), args.begin(), args.end());
    e2e::Run r = run_program(argv, "", 10000, dir_.path());
    EXPECT_EQ(r.exit_status, kExitOk) << describe(args, r);
    EXPECT_NE(r.out, "") << describe(args, r);
  }
}

TEST_F(Tool, PingAndVer) {
  start();
  const std::string number = "[0-9]+(\\.[0-9]+)?";
  const std::string times = number + "/" + number + "/" + number;
  e2e::Run r = tool({"ping"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ping"}, r);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("1 pings: min/avg/max " + times + " ms\n")))
      << r.out;

  r = tool({"ping", "-c", "3"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ping", "-c", "3"}, r);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("3 pings: min/avg/max " + times + " ms\n")))
      << r.out;

  // rqsim's build text is its compiler's date and time.
  r = tool({"ver"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ver"}, r);
  EXPECT_TRUE(std::regex_search(r.out, std::regex("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                                                  "[0-9]{2}:[0-9]{2}:[0-9]{2}\n$")))
      << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

  // A host name is resolved (localhost only: nothing leaves this machine).
  r = run_program({rqtool_bin(), "-H", "localhost", "-p", std::to_string(sim_.port), "ping"}, "",
                  30000, dir_.path());
  EXPECT_EQ(r.exit_status, kExitOk) << r.err;
}

TEST_F(Tool, DirectoriesAreMadeListedAndRemoved) {
  write_file(root() + "/readme.txt", "hello");
  start();
  struct Step {
    std::vector<std::string> args;
    int exit;
  } steps[] = {
      {{"mkdir", "docs"}, kExitOk},
      {{"mkdir", "-p", "docs/a/b/c"}, kExitOk},
      {{"mkdir", "-p", "docs/a/b/c"}, kExitOk},  // an existing directory is no error with -p
      {{"mkdir", "-p", "docs/a"}, kExitOk},
      {{"mkdir", "-p", "readme.txt"}, kExitDevice},  // a file of that name is
      {{"mkdir", "-p", "readme.txt/x"}, kExitDevice},
      {{"cp", "readme.txt", "docs/copy.txt"}, kExitOk},
      {{"mv", "readme.txt", "docs/a/moved.txt"}, kExitOk},
      {{"rm", "docs/copy.txt"}, kExitOk},
      {{"rm", "docs/copy.txt"}, kExitDevice},
      {{"rm", "-f", "docs/copy.txt"}, kExitOk},  // missing is no error with -f
      {{"rm", "docs/a"}, kExitDevice},           // not empty, and no -r
  };
  for (const Step& s : steps) {
    e2e::Run r = tool(s.args);
    EXPECT_EQ(r.exit_status, s.exit) << describe(s.args, r);
  }
  EXPECT_TRUE(fs::is_directory(root() + "/docs/a/b/c"));
  EXPECT_FALSE(fs::exists(root() + "/readme.txt/x"));
  EXPECT_FALSE(fs::exists(root() + "/docs/copy.txt"));
  EXPECT_EQ(read_file(root() + "/docs/a/moved.txt"), "hello");

  // A directory: one name per line, directories with a trailing slash.
  write_file(root() + "/docs/a/second.txt", "12345");
  e2e::Run r = tool({"ls", "docs/a"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ls", "docs/a"}, r);
  EXPECT_EQ(sorted_lines(r.out), (std::vector<std::string>{"b/", "moved.txt", "second.txt"}))
      << r.out;
  r = tool({"ls"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ls"}, r);
  EXPECT_EQ(sorted_lines(r.out), (std::vector<std::string>{"docs/"})) << r.out;

  // A file: its record on one line, the size among the fields.
  r = tool({"ls", "/docs/a/second.txt"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"ls", "/docs/a/second.txt"}, r);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\\b5\\b"))) << r.out;

  r = tool({"ls", "nothing-here"});
  EXPECT_EQ(r.exit_status, kExitDevice) << describe({"ls", "nothing-here"}, r);
  EXPECT_EQ(r.out, "");

  // A whole tree goes with -r; the root itself never does.
  r = tool({"rm", "-r", "/"});
  EXPECT_NE(r.exit_status, kExitOk) << describe({"rm", "-r", "/"}, r);
  EXPECT_TRUE(fs::is_directory(root() + "/docs/a/b/c"));
  r = tool({"rm", "-r", "docs"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"rm", "-r", "docs"}, r);
  EXPECT_TRUE(fs::is_empty(root()));
}

TEST_F(Tool, FilesGoUpAndComeBackByteForByte) {
  const size_t sizes[] = {0, 1, 16384, 16385, 3 * 1024 * 1024 + 7};
  start();
  for (size_t size : sizes) {
    const std::string n = std::to_string(size);
    SCOPED_TRACE("size " + n);
    const std::string bytes = random_bytes(size, static_cast<unsigned>(size) + 1);
    write_file(dir_ / ("up" + n), bytes);
    e2e::Run r = tool({"put", "up" + n, "/dev" + n});
    EXPECT_EQ(r.exit_status, kExitOk) << describe({"put"}, r);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");  // the summary
    EXPECT_TRUE(read_file(root() + "/dev" + n) == bytes);

    r = tool({"-q", "get", "dev" + n, "down" + n});
    EXPECT_EQ(r.exit_status, kExitOk) << describe({"get"}, r);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");  // -q: no summary
    EXPECT_TRUE(file_exists(dir_ / ("down" + n)));
    EXPECT_TRUE(read_file(dir_ / ("down" + n)) == bytes);

    r = tool({"get", "dev" + n, "-"});
    EXPECT_EQ(r.exit_status, kExitOk) << describe({"get", "-"}, r);
    EXPECT_EQ(r.out.size(), bytes.size());
    EXPECT_TRUE(r.out == bytes);
  }

  // A get replaces an existing file, and leaves nothing beside it.
  write_file(dir_ / "down1", "older and longer");
  const std::set<std::string> before = dir_.entries();
  e2e::Run r = tool({"get", "dev1", "down1"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"get", "dev1", "down1"}, r);
  EXPECT_EQ(read_file(dir_ / "down1"), read_file(root() + "/dev1"));
  EXPECT_EQ(dir_.entries(), before);
}

TEST_F(Tool, BootImagesAreWrittenVerifiedAndRead) {
  start();
  for (int boot = 1; boot <= 3; ++boot) {
    const std::string b = std::to_string(boot);
    SCOPED_TRACE("boot " + b);
    const std::string image = random_bytes(40000 + 16384 * boot, boot);
    write_file(dir_ / ("img" + b), image);
    e2e::Run r = tool({"boot", "write", b, "img" + b});
    EXPECT_EQ(r.exit_status, kExitOk) << describe({"boot", "write", b}, r);
    EXPECT_EQ(r.err.find("unverified"), std::string::npos) << r.err;
    EXPECT_TRUE(read_file(boots() + "/boot" + b + ".img") == image);

    r = tool({"boot", "read", b, "back" + b});
    EXPECT_EQ(r.exit_status, kExitOk) << describe({"boot", "read", b}, r);
    EXPECT_TRUE(read_file(dir_ / ("back" + b)) == image);
  }

  // Without the read-back the summary says that nothing was checked.
  write_file(dir_ / "short", "a short image");
  e2e::Run r = tool({"boot", "write", "--no-verify", "2", "short"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"boot", "write", "--no-verify"}, r);
  EXPECT_NE(r.err.find("unverified"), std::string::npos) << r.err;
  // Nothing follows the data, so rqsim may still be storing the image when rqtool ends; the
  // next connection is served only after it has.
  r = tool({"-q", "boot", "read", "2", "short-back"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"boot", "read", "2"}, r);
  EXPECT_EQ(read_file(dir_ / "short-back"), "a short image");
  r = tool({"-q", "boot", "write", "--no-verify", "2", "short"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"-q", "boot", "write", "--no-verify"}, r);
  EXPECT_EQ(r.err, "");
}

TEST_F(Tool, LaunchAndFormat) {
  write_file(root() + "/hello.elf",
             "\x7f"
             "ELF" +
                 random_bytes(100, 3));
  write_file(root() + "/notes.txt", "not a program");
  start();
  e2e::Run r = tool({"launch", "hello.elf"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"launch"}, r);
  EXPECT_NE(read_file(dir_ / "sim.err").find("rqsim: launched /hello.elf\n"), std::string::npos);
  r = tool({"launch", "notes.txt"});
  EXPECT_EQ(r.exit_status, kExitDevice) << describe({"launch", "notes.txt"}, r);

  // Erasing the device needs --yes; without it nothing is sent.
  r = tool({"format"});
  EXPECT_EQ(r.exit_status, kExitUsage) << describe({"format"}, r);
  EXPECT_TRUE(file_exists(root() + "/notes.txt"));
  r = tool({"format", "--yes"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"format", "--yes"}, r);
  EXPECT_TRUE(fs::is_empty(root()));
}

TEST_F(Tool, TraceShowsFramesBothWays) {
  start();
  e2e::Run r = tool({"--trace", "ping"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"--trace", "ping"}, r);
  EXPECT_NE(r.err.find("rqtool -> "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("rqtool <- "), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("1 pings: "), std::string::npos) << r.out;

  // Into a file: each frame of the start-up ping and of mkdir on a line of its own, sent
  // (->) and received (<-), the command decoded by name.
  r = tool({"--trace=trace.txt", "-q", "mkdir", "traced"});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"--trace=trace.txt", "mkdir"}, r);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::is_directory(root() + "/traced"));
  const std::string trace = read_file(dir_ / "trace.txt");
  const std::regex line("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} rqtool (->|<-) [^\n]*\n");
  std::vector<std::string> directions;
  for (std::sregex_iterator it(trace.begin(), trace.end(), line), end; it != end; ++it) {
    EXPECT_EQ(it->position(), directions.empty() ? 0 : trace.rfind('\n', it->position() - 1) + 1)
        << trace;
    directions.push_back((*it)[1]);
  }
  // ping; its reply; the ready; mkdir; the ready; the path; the status.
  EXPECT_EQ(directions, (std::vector<std::string>{"->", "<-", "<-", "->", "<-", "->", "<-"}))
      << trace;
  EXPECT_TRUE(std::regex_search(trace, std::regex("rqtool -> [^\n]*mkdir"))) << trace;
}

// One row per failure class: what rqsim is told to do, the command, and the status that a
// calling script sees. Where the words matter, a part of standard error.
TEST_F(Tool, EveryFailureHasItsExitStatus) {
  struct Case {
    const char* name;
    std::vector<std::string> sim_args;
    std::vector<std::string> args;
    int exit;
    std::string err = "";
  } cases[] = {
      {"success", {}, {"mkdir", "/fresh"}, kExitOk},
      {"device status",
       {},
       {"mkdir", "/logs"},
       kExitDevice,
       "rqtool: mkdir /logs: file already exists (status 7)\n"},
      {"missing path", {}, {"rm", "/none"}, kExitDevice, "file does not exist (status 9)"},
      {"refused command", {"--refuse", "1=3"}, {"mkdir", "/x"}, kExitDevice},
      {"refused path", {"--refuse", "mkdir:2=3"}, {"mkdir", "/x"}, kExitDevice},
      {"refused chunk", {"--refuse", "put:3=3"}, {"put", "local.bin", "/x"}, kExitDevice},
      {"status after data", {"--status", "put=4"}, {"put", "local.bin", "/x"}, kExitDevice},
      {"status before a reply", {"--status", "ver=2"}, {"ver"}, kExitDevice},
      {"status before data", {"--status", "get=4"}, {"get", "/logs/a", "out"}, kExitDevice},
      {"boot read status", {"--status", "rb=4"}, {"boot", "read", "2", "out"}, kExitDevice},
      {"unknown command", {}, {"frobnicate"}, kExitUsage},
      {"unknown option", {}, {"--frobnicate", "ping"}, kExitUsage},
      {"unknown command option", {}, {"ping", "--frobnicate"}, kExitUsage},
      {"no command", {}, {}, kExitUsage},
      {"missing argument", {}, {"mkdir"}, kExitUsage},
      {"extra argument", {}, {"mv", "a", "b", "c"}, kExitUsage},
      {"port 0", {}, {"-p", "0", "ping"}, kExitUsage},
      {"port 65536", {}, {"-p", "65536", "ping"}, kExitUsage},
      {"port not a number", {}, {"-p", "20x", "ping"}, kExitUsage},
      {"bad time-out", {}, {"-t", "soon", "ping"}, kExitUsage},
      {"negative time-out", {}, {"-t", "-1", "ping"}, kExitUsage},
      {"bad count", {}, {"ping", "-c", "many"}, kExitUsage},
      {"boot 0", {}, {"boot", "read", "0", "out"}, kExitUsage},
      {"boot 4", {}, {"boot", "write", "4", "local.bin"}, kExitUsage},
      {"format without --yes", {}, {"format"}, kExitUsage},
      {"garbage", {"--garbage", "ls"}, {"ls"}, kExitLink},
      {"oversize frame", {"--oversize", "ver"}, {"ver"}, kExitLink},
      {"lost connection", {"--drop", "get:20000"}, {"get", "/logs/a", "out"}, kExitLink},
      {"lost during boot read", {"--drop", "rb:20000"}, {"boot", "read", "1", "out"}, kExitLink},
      {"local file missing", {}, {"put", "no-such-file", "/x"}, kExitLocalFile},
      {"local file is a directory", {}, {"put", "subdir", "/x"}, kExitLocalFile},
      {"local target directory missing", {}, {"get", "/logs/a", "no/such/dir"}, kExitLocalFile},
      {"boot image missing", {}, {"boot", "write", "2", "no-such-file"}, kExitLocalFile},
  };
  fs::create_directories(root() + "/logs");
  write_file(root() + "/logs/a", random_bytes(100000, 4));
  write_file(boots() + "/boot1.img", random_bytes(100000, 5));
  write_file(boots() + "/boot2.img", random_bytes(100000, 6));
  write_file(dir_ / "local.bin", random_bytes(50000, 7));
  fs::create_directories(dir_ / "subdir");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.sim_args);
    e2e::Run r = tool(c.args);
    EXPECT_EQ(r.exit_status, c.exit) << describe(c.args, r);
    if (c.exit != kExitOk) {
      EXPECT_NE(r.err, "");
    }
    if (c.exit == kExitUsage) {
      EXPECT_NE(r.err.find("sage"), std::string::npos) << r.err;
    }
    if (!c.err.empty()) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(file_exists(dir_ / "out")) << "a failed download left its target";
  }
  EXPECT_FALSE(fs::exists(root() + "/x"));
}

TEST_F(Tool, NoProxyIsALinkFailure) {
  start();
  const std::string port = std::to_string(sim_.port);
  stop_sim(sim_);  // the port is closed now
  e2e::Run r = run_program({rqtool_bin(), "-p", port, "ping"}, "", 30000, dir_.path());
  EXPECT_EQ(r.exit_status, kExitLink) << r.err;
  EXPECT_NE(r.err, "");
}

}  // namespace
}  // namespace rq::e2e
