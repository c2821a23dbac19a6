// A scratch directory, a device root and boot directory under it, rqsim serving them, and
// rqtool runs against it from the scratch directory: the pieces every rqtool end-to-end test
// shares.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace rq::e2e {

inline std::string rqtool_bin() { return RQTOOL_BIN; }

// The exit statuses rqtool promises its callers.
enum ToolExit {
  kExitOk = 0,
  kExitDevice = 1,
  kExitUsage = 2,
  kExitLink = 3,
  kExitLocalFile = 4,
  kExitVerify = 5,
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root());
    std::filesystem::create_directories(boots());
  }
  void TearDown() override { stop_sim(sim_); }

  // (Re)starts rqsim on a fresh ephemeral port with the given extra options.
  void start(const std::vector<std::string>& extra = {}) {
    stop_sim(sim_);
    std::vector<std::string> args = {"--root", root(), "--boot-dir", boots(), "--diag-delay", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(start_sim(sim_, args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
  }

  // rqtool -p PORT ARGS..., run in the scratch directory; a run that hangs fails the test.
  e2e::Run tool(const std::vector<std::string>& args, const std::string& stdin_text = "",
                int timeout_ms = 60000) {
    std::vector<std::string> argv = {rqtool_bin(), "-p", std::to_string(sim_.port)};
    argv.insert(argv.end(), args.begin(), args.end());
    e2e::Run r = run_program(argv, stdin_text, timeout_ms, dir_.path());
    EXPECT_FALSE(r.timed_out) << describe(args, r);
    return r;
  }

  // The command line ("rqtool ARGS..."), naming a row of a table of runs.
  static std::string command_line(const std::vector<std::string>& args) {
    std::string text = "rqtool";
    for (const std::string& a : args) text += " " + a;
    return text;
  }

  // The command line and what the run printed, for failure messages.
  static std::string describe(const std::vector<std::string>& args, const e2e::Run& r) {
    return command_line(args) + "\n  exit " + std::to_string(r.exit_status) +
           "\n  stdout: " + r.out.substr(0, 400) + "\n  stderr: " + r.err.substr(0, 400);
  }

  std::string root() const { return dir_ / "root"; }
  std::string boots() const { return dir_ / "boots"; }

  TempDir dir_;
  Sim sim_;
};

}  // namespace rq::e2e
