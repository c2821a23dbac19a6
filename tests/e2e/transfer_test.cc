// File and boot-image transfers of the real rqshell through the real rqsim: every size
// that matters for the chunking goes up and comes back byte for byte, boot images are
// written and read back, and a download that fails leaves the local file untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/console_text.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

class Transfers : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root());
    fs::create_directories(dir_ / "boots");
  }
  void TearDown() override { stop_sim(sim_); }

  void start(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--root", root(), "--boot-dir", dir_ / "boots"};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(start_sim(sim_, args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
  }

  e2e::Run run(const std::string& script) {
    e2e::Run r = run_shell_script(sim_, dir_, script, "", 120000);
    EXPECT_FALSE(r.timed_out) << r.out;
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    return r;
  }

  std::string root() const { return dir_ / "root"; }

  TempDir dir_;
  Sim sim_;
};

TEST_F(Transfers, PutThenGetReturnsEveryFileByteForByte) {
  // Each put and each get reports its size in KiB.
  const struct {
    size_t size;
    const char* kib;
  } files[] = {{0, "0.0"},      {1, "0.0"},      {16384, "16.0"},
               {16385, "16.0"}, {40000, "39.1"}, {3 * 1024 * 1024 + 7, "3072.0"}};
  std::string script;
  std::string expected;
  for (const auto& f : files) {
    std::string n = std::to_string(f.size);
    write_file(dir_ / ("up" + n), random_bytes(f.size, static_cast<unsigned>(f.size)));
    script += "put up" + n + " dev" + n + "\nget dev" + n + " down" + n + "\n";
    for (int i = 0; i < 2; ++i) expected += std::string("Download ") + f.kib + " KB <time>\n";
  }
  start();
  e2e::Run r = run(script + "q\n");

  EXPECT_EQ(testing::mask_varying(r.out), expected);
  for (const auto& f : files) {
    std::string n = std::to_string(f.size);
    std::string sent = read_file(dir_ / ("up" + n));
    EXPECT_EQ(read_file(root() + "/dev" + n), sent) << f.size;
    EXPECT_TRUE(file_exists(dir_ / ("down" + n))) << f.size;
    EXPECT_EQ(read_file(dir_ / ("down" + n)), sent) << f.size;
  }
  EXPECT_EQ(leftovers(dir_.path()), std::vector<std::string>{});
}

TEST_F(Transfers, BootImagesComeBackAsWritten) {
  for (const char* reduction : {"0", "512"}) {
    SCOPED_TRACE(std::string("reduction ") + reduction);
    stop_sim(sim_);
    start({"--reduction", reduction});
    std::string script;
    for (int boot = 1; boot <= 3; ++boot) {
      std::string b = std::to_string(boot);
      write_file(dir_ / ("img" + b), random_bytes(40000 + 16384 * boot, boot));
      script += "wb " + b + " img" + b + "\nrb " + b + " back" + b + "\n";
    }
    e2e::Run r = run(script + "q\n");
    EXPECT_EQ(r.out, "");
    for (int boot = 1; boot <= 3; ++boot) {
      std::string b = std::to_string(boot);
      EXPECT_TRUE(file_exists(dir_ / ("back" + b))) << boot;
      EXPECT_EQ(read_file(dir_ / ("back" + b)), read_file(dir_ / ("img" + b))) << boot;
    }
  }
}

TEST_F(Transfers, AFailedGetLeavesTheLocalFileUntouched) {
  write_file(dir_ / "keep.bin", "precious");
  start();
  e2e::Run r = run("get no-such-file keep.bin\nget no-such-file fresh.bin\nq\n");
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex("(ERROR: [^\n]*\nput command failed errcode = -?[1-9][0-9]*\n){2}")))
      << r.out;
  EXPECT_EQ(read_file(dir_ / "keep.bin"), "precious");
  EXPECT_FALSE(file_exists(dir_ / "fresh.bin"));
  EXPECT_EQ(leftovers(dir_.path()), std::vector<std::string>{});
}

// The proxy fails part-way (rqsim's fault injection): each command reports its own line, and
// local files keep what they held.
TEST_F(Transfers, FailuresPartWayLeaveLocalFilesAsTheyWere) {
  struct Case {
    std::vector<std::string> sim_args;
    std::string script;
    std::string out;
  } cases[] = {
      {{"--drop", "get:20000"},
       "get big keep.bin\n",
       "ERROR: DX proxy program closed the connection\nget command failed(fetch data)\n"},
      {{"--drop", "rb:20000"},
       "rb 2 keep.bin\n",
       "ERROR: DX proxy program closed the connection\nget command failed(fetch data)\n"},
      {{"--status", "get=4"},
       "get big keep.bin\n",
       "ERROR: file corrupted \nput command failed errcode = 4\n"},
      {{"--refuse", "put:4=3"},
       "put big other\n",
       "ERROR: access failed \nput command failed errcode(write data) = 3\n"},
      {{"--reduction", "16384"},
       "wb 2 big\n",
       "ERROR: invalid parameter \nwb command failed errcode = 5\n"},
  };
  write_file(dir_ / "big", random_bytes(100000, 7));
  write_file(root() + "/big", read_file(dir_ / "big"));
  write_file(dir_ / "boots/boot2.img", read_file(dir_ / "big"));
  for (const Case& k : cases) {
    SCOPED_TRACE(k.script);
    write_file(dir_ / "keep.bin", "precious");
    stop_sim(sim_);
    start(k.sim_args);
    e2e::Run r = run(k.script + "q\n");
    EXPECT_EQ(r.out, k.out);
    EXPECT_EQ(read_file(dir_ / "keep.bin"), "precious");
    EXPECT_EQ(leftovers(dir_.path()), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace rq::e2e
