#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tool/ask_program.h"

namespace rq {

int run_ask_program(const std::string& command, const std::string& question) {
  // The shell passes the question as "$1", so that no character of it is read as syntax.
  std::string script = command + " \"$1\"";
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    // The proxy connection and any other descriptor stay with rqtool.
    long max_fd = sysconf(_SC_OPEN_MAX);
    if (max_fd < 0 || max_fd > 4096) max_fd = 4096;
    for (int fd = 3; fd < max_fd; ++fd) close(fd);
    execl("/bin/sh", "sh", "-c", script.c_str(), "sh", question.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

bool stdin_on_terminal() { return isatty(STDIN_FILENO) == 1; }

}  // namespace rq
