// rqsim's own command line, run as a user runs it: options that change how the simulated
// device behaves, seen through the real rqshell and the device root on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "link/version.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

class SimCommandLine : public ::testing::Test {
 protected:
  void TearDown() override { stop_sim(sim_); }

  void start(std::vector<std::string> extra) {
    stop_sim(sim_);
    fs::create_directories(root());
    std::vector<std::string> args = {"--root", root()};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(start_sim(sim_, args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
  }

  std::string root() const { return dir_ / "root"; }

  TempDir dir_;
  Sim sim_;
};

// A put over an existing file, cut after its second chunk: written in place, the device
// keeps the chunks that arrived and the old content is gone, as on a device that writes as
// it receives; a complete put leaves the whole new file.
TEST_F(SimCommandLine, PutInPlaceLeavesAPartialFileWhenCutAndTheWholeFileWhenNot) {
  const std::string data = random_bytes(100000, 21);
  write_file(dir_ / "big", data);
  write_file(root() + "/target", "old contents");

  start({"--put-in-place", "--drop", "put:20000"});
  e2e::Run cut = run_shell_script(sim_, dir_, "put big target\nq\n");
  EXPECT_FALSE(cut.timed_out);
  EXPECT_NE(cut.out.find("closed the connection"), std::string::npos) << cut.out;
  std::string partial = read_file(root() + "/target");
  EXPECT_EQ(partial.size(), 32768u);
  EXPECT_TRUE(partial == data.substr(0, 32768)) << "the partial file holds other bytes";

  start({"--put-in-place"});
  e2e::Run whole = run_shell_script(sim_, dir_, "put big target\nq\n");
  EXPECT_FALSE(whole.timed_out);
  EXPECT_EQ(whole.exit_status, 0) << whole.out;
  std::string complete = read_file(root() + "/target");
  EXPECT_EQ(complete.size(), data.size());
  EXPECT_TRUE(complete == data) << "the file holds other bytes";
  EXPECT_EQ(names_in(root()), std::set<std::string>{"target"});  // no temporary file beside it
}

TEST_F(SimCommandLine, VersionPrintsTheProjectVersion) {
  e2e::Run r = run_program({rqsim_bin(), "--version"}, "", 5000);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, std::string("rqsim ") + kVersion + "\n");
  EXPECT_EQ(r.err, "");
}

// 192.0.2.1 is reserved for documentation: no machine has it, so the bind fails after the
// warning and nothing is ever opened to a network.
TEST_F(SimCommandLine, ABindOutsideLoopbackIsWarnedOfFirstOnStandardError) {
  e2e::Run r =
      run_program({rqsim_bin(), "--bind", "192.0.2.1", "--port", "0", "--root", root()}, "", 10000);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err,
            "rqsim: warning: 192.0.2.1 is outside 127.0.0.0/8: whoever reaches it can write to "
            "the device root " +
                root() + " and the boot images in " + root() +
                ".boot, and format the device\n"
                "rqsim: cannot listen on 192.0.2.1:0\n");

  start({});  // the default, 127.0.0.1: no warning
  EXPECT_EQ(read_file(dir_ / "sim.err"), "");
}

}  // namespace
}  // namespace rq::e2e
