// Programs started in the background, so that a test can signal them or watch their files
// while they run, and the clock and waits that go with them. Every wait is bounded.
#pragma once

#include <string>
#include <vector>

namespace rq::testing {

// Milliseconds on a clock that never jumps.
long long now_ms();
void sleep_ms(int ms);

// Starts argv (argv[0] looked up on PATH) in the directory cwd, with standard input from
// /dev/null, standard output and error to the files named ("" for /dev/null), and SIGINT,
// SIGTERM, SIGHUP and SIGPIPE at their default actions whatever the test runner has set,
// so that a test that signals it sees what the program itself does; ignored names a signal
// it starts with ignored instead (as under nohup), 0 none. Returns its pid, or -1.
int spawn(const std::vector<std::string>& argv, const std::string& cwd, const std::string& out_path,
          const std::string& err_path, int ignored = 0);

// Waits up to timeout_ms for pid to end. Returns its wait status, or -1 when it did not end
// in time (it is killed then, so nothing is left running).
int wait_for_exit(int pid, int timeout_ms);

// The resident memory of a running process, in KiB; -1 when it cannot be read.
long vm_rss_kb(int pid);

}  // namespace rq::testing
