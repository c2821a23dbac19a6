// A download interrupted by a signal (Ctrl-C at the console, SIGTERM from a supervisor,
// SIGHUP from a closed terminal) leaves nothing behind: the temporary file that held the
// data so far is gone, the target holds what it held before, and the shell ends as a
// killed program does, so that its parent sees the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

// The size of the first file in dir whose name holds ".rqpart-", or -1 while there is none.
long long partial_size(const std::string& dir) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().find(".rqpart-") != std::string::npos)
      return static_cast<long long>(fs::file_size(e.path(), ec));
  return -1;
}

// Starts the shell (through the harness's wrapper, if any) in dir with a script and its
// outputs to out_dir/out and out_dir/err; returns its pid.
int spawn_shell(const std::string& dir, const std::string& out_dir, const Sim& sim) {
  return testing::spawn(
      shell_command({rqshell_bin(), "script.rq", "127.0.0.1", std::to_string(sim.port)}), dir,
      out_dir + "/out", out_dir + "/err");
}

TEST(Interrupt, ASignalDuringADownloadLeavesNoFileAndTheTargetAsItWas) {
  if (shell_is_windows())
    GTEST_SKIP() << "a POSIX signal reaches no console control handler of a Windows shell";
  const std::string big = random_bytes(16 * 1024 * 1024, 3);
  const std::string old_content = "what the target held before\n";
  struct {
    const char* what;
    std::string command;  // downloads into target
    const char* target;
    bool target_exists;
    int signal;
  } cases[] = {
      {"get over an existing file, SIGINT", "get big.bin keep.bin", "keep.bin", true, SIGINT},
      {"get to a new file, SIGTERM", "get big.bin new.bin", "new.bin", false, SIGTERM},
      {"rb over an existing file, SIGHUP", "rb 1 boot.bin", "boot.bin", true, SIGHUP},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    TempDir dir;
    fs::create_directories(dir / "root");
    fs::create_directories(dir / "boots");
    fs::create_directories(dir / "work");
    write_file(dir / "root/big.bin", big);
    write_file(dir / "boots/boot1.img", big);
    const std::string work = dir / "work";
    write_file(work + "/script.rq", k.command + "\nq\n");
    if (k.target_exists) write_file(work + "/" + k.target, old_content);
    const std::set<std::string> before = names_in(work);

    // Every frame waits, so that the download lasts seconds.
    Sim sim;
    const bool started =
        start_sim(sim, {"--root", dir / "root", "--boot-dir", dir / "boots", "--stall", "5"},
                  dir / "sim.err");
    EXPECT_TRUE(started) << read_file(dir / "sim.err");
    if (!started) continue;
    int pid = spawn_shell(work, dir.path(), sim);
    EXPECT_GT(pid, 0) << "the shell did not start";
    if (pid <= 0) {
      stop_sim(sim);
      continue;
    }
    // The signal comes once data has arrived in the temporary file.
    long long got = -1;
    for (int waited = 0; waited < 30000 && got <= 0; waited += 5) {
      got = partial_size(work);
      if (got <= 0) sleep_ms(5);
    }
    EXPECT_GT(got, 0) << "no partial download appeared; the shell wrote: "
                      << read_file(dir / "out");
    kill(pid, k.signal);
    int status = wait_for_exit(pid, 20000);
    stop_sim(sim);

    EXPECT_NE(status, -1) << "the shell did not end after the signal";
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == k.signal)
        << "wait status " << status << "; the shell wrote: " << read_file(dir / "out")
        << read_file(dir / "err");
    EXPECT_EQ(names_in(work), before);
    if (k.target_exists) {
      EXPECT_EQ(read_file(work + "/" + k.target), old_content);
    }
  }
}

}  // namespace
}  // namespace rq::e2e
