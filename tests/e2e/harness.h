// Runs the real binaries: rqsim on an ephemeral loopback port, rqshell against it with a
// command script and console input. Every run is bounded by a time-out that fails the test.
#pragma once

#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace rq::e2e {

using testing::file_exists;
using testing::leftovers;
using testing::names_in;
using testing::now_ms;
using testing::random_bytes;
using testing::read_file;
using testing::sleep_ms;
using testing::TempDir;
using testing::tree_of;
using testing::vm_rss_kb;
using testing::wait_for_exit;
using testing::write_file;

struct Sim {
  int pid = -1;
  int port = 0;
  std::string stderr_path;
};

// Starts `rqsim --port 0 <args>` and reads the port from its first line. Returns false
// (and leaves no process behind) if it does not come up within a few seconds.
bool start_sim(Sim& sim, const std::vector<std::string>& args, const std::string& stderr_path);
// Stops it (SIGTERM, then SIGKILL) and returns its exit status (or -1).
int stop_sim(Sim& sim);

struct Run {
  int exit_status = -1;  // as the shell returned it (0..255), or -1 if it was killed
  bool timed_out = false;
  std::string out;      // standard output
  std::string err;      // standard error
  long max_rss_kb = 0;  // the program's peak resident memory, in KiB
};

// Runs a program with arguments and console input, killing it after timeout_ms. When argv
// names rqshell, the shell named in RQ_E2E_SHELL runs in its place, if set, under the
// program named in RQ_E2E_SHELL_WRAPPER, if set (see harness.cc); a Windows shell's CR LF
// line ends then arrive as LF. rqtool runs under RQ_E2E_TOOL_WRAPPER, if set.
Run run_program(const std::vector<std::string>& argv, const std::string& stdin_text,
                int timeout_ms = 30000, const std::string& cwd = "");

// Runs rqshell with a script file (written to dir/name) against the simulator.
Run run_shell_script(const Sim& sim, const TempDir& dir, const std::string& script,
                     const std::string& stdin_text = "", int timeout_ms = 30000);

std::string rqshell_bin();
std::string rqsim_bin();

// The command line that runs argv, as run_program runs it (wrapper and shell replaced).
std::vector<std::string> shell_command(const std::vector<std::string>& argv);

// Why a test that needs the shell built here, run directly, cannot apply to the shell under
// test (another build through RQ_E2E_SHELL, or a wrapper): empty when it can.
std::string shell_not_native_reason();
// True when the shell under test is a Windows program (RQ_E2E_SHELL names an .exe).
bool shell_is_windows();

}  // namespace rq::e2e
