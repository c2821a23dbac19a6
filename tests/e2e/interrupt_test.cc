// A download interrupted by a signal (Ctrl-C at the console, SIGTERM from a supervisor,
// SIGHUP from a closed terminal) leaves nothing behind: the temporary file that held the
// data so far is gone, the target holds what it held before, and the shell ends as a
// killed program does, so that its parent sees the signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

std::string random_bytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& ch : s) ch = static_cast<char>(gen());
  return s;
}

std::set<std::string> names_in(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
  return names;
}

// The size of the first file in dir whose name holds ".rqpart-", or -1 while there is none.
long long partial_size(const std::string& dir) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().find(".rqpart-") != std::string::npos)
      return static_cast<long long>(fs::file_size(e.path(), ec));
  return -1;
}

void sleep_ms(int ms) {
  timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

// Starts the shell (through the harness's wrapper, if any) in dir with a script, standard
// input from /dev/null and its outputs to out_dir/out and out_dir/err; returns its pid.
int spawn_shell(const std::string& dir, const std::string& out_dir, const Sim& sim) {
  std::vector<std::string> argv =
      shell_command({rqshell_bin(), "script.rq", "127.0.0.1", std::to_string(sim.port)});
  pid_t pid = fork();
  if (pid != 0) return pid;
  // File descriptors only: the parent's buffered output must not be written twice.
  int in = open("/dev/null", O_RDONLY);
  int out = open((out_dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = open((out_dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
      chdir(dir.c_str()) != 0)
    _exit(126);
  // The signals start out with their default action, whatever the test runner has set.
  for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
  std::vector<char*> v;
  for (std::string& a : argv) v.push_back(a.data());
  v.push_back(nullptr);
  execvp(v[0], v.data());
  _exit(127);
}

// Waits up to timeout_ms for pid; returns its wait status, or -1 (it is killed then).
int wait_for_exit(int pid, int timeout_ms) {
  int status = 0;
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    sleep_ms(10);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
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
    ASSERT_TRUE(start_sim(sim,
                          {"--root", dir / "root", "--boot-dir", dir / "boots", "--stall", "5"},
                          dir / "sim.err"));
    int pid = spawn_shell(work, dir.path(), sim);
    ASSERT_GT(pid, 0);
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

    ASSERT_NE(status, -1) << "the shell did not end after the signal";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == k.signal)
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
