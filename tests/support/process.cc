#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "support/files.h"

namespace rq::testing {

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void sleep_ms(int ms) {
  timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

int spawn(const std::vector<std::string>& argv, const std::string& cwd, const std::string& out_path,
          const std::string& err_path, int ignored) {
  if (argv.empty()) return -1;
  // Built before the fork: the child only calls what is safe there.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const char* out = out_path.empty() ? "/dev/null" : out_path.c_str();
  const char* err = err_path.empty() ? "/dev/null" : err_path.c_str();
  pid_t pid = fork();
  if (pid != 0) return pid < 0 ? -1 : pid;
  // File descriptors only: the parent's buffered output must not be written twice.
  int in_fd = open("/dev/null", O_RDONLY);
  int out_fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err_fd = open(err, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in_fd < 0 || out_fd < 0 || err_fd < 0 || dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 ||
      dup2(err_fd, 2) < 0)
    _exit(126);
  if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
  // A caller that ignores these (a background job of a shell, the harness for SIGPIPE)
  // must not pass that on: the tests are about what the program does when they arrive.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
  if (ignored) signal(ignored, SIG_IGN);
  execvp(args[0], args.data());
  _exit(127);
}

int wait_for_exit(int pid, int timeout_ms) {
  if (pid <= 0) return -1;
  const long long deadline = now_ms() + timeout_ms;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (now_ms() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    sleep_ms(10);
  }
  return status;
}

long vm_rss_kb(int pid) {
  std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : atol(status.c_str() + at + 6);
}

}  // namespace rq::testing
