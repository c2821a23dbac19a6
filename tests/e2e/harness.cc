#include "e2e/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace rq::e2e {

std::string rqshell_bin() { return RQSHELL_BIN; }
std::string rqsim_bin() { return RQSIM_BIN; }

static std::vector<char*> c_argv(const std::vector<std::string>& argv) {
  std::vector<char*> v;
  for (const std::string& a : argv) v.push_back(const_cast<char*>(a.c_str()));
  v.push_back(nullptr);
  return v;
}

bool start_sim(Sim& sim, const std::vector<std::string>& args, const std::string& stderr_path) {
  std::vector<std::string> argv = {rqsim_bin(), "--port", "0"};
  argv.insert(argv.end(), args.begin(), args.end());
  // Its standard output goes to a file, so nothing it prints later can block or kill it.
  char out_path[] = "/tmp/rqsim-out.XXXXXX";
  int out = mkstemp(out_path);
  if (out < 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(out, 1);
    int err = open(stderr_path.empty() ? "/dev/null" : stderr_path.c_str(),
                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, 2);
    int null_in = open("/dev/null", O_RDONLY);
    if (null_in >= 0) dup2(null_in, 0);
    std::vector<char*> v = c_argv(argv);
    execv(v[0], v.data());
    _exit(127);
  }
  close(out);
  sim.pid = pid;
  sim.stderr_path = stderr_path;
  // The first line names the port: "... 127.0.0.1:PORT".
  std::string line;
  long long deadline = now_ms() + 5000;
  while (now_ms() < deadline) {
    line = read_file(out_path);
    if (line.find('\n') != std::string::npos) break;
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      sim.pid = -1;
      break;
    }
    sleep_ms(5);
  }
  unlink(out_path);
  size_t eol = line.find('\n');
  size_t colon = eol == std::string::npos ? eol : line.find_last_of(':', eol);
  sim.port = colon == std::string::npos ? 0 : atoi(line.c_str() + colon + 1);
  if (sim.port <= 0) {
    stop_sim(sim);
    return false;
  }
  return true;
}

int stop_sim(Sim& sim) {
  if (sim.pid <= 0) return -1;
  kill(sim.pid, SIGTERM);
  int status = wait_for_exit(sim.pid, 3000);  // killed if it does not end in time
  sim.pid = -1;
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static std::string env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

bool shell_is_windows() {
  std::string shell = env("RQ_E2E_SHELL");
  return shell.size() > 4 && shell.compare(shell.size() - 4, 4, ".exe") == 0;
}

std::string shell_not_native_reason() {
  if (!env("RQ_E2E_SHELL").empty()) return "the shell under test is " + env("RQ_E2E_SHELL");
  if (!env("RQ_E2E_SHELL_WRAPPER").empty())
    return "the shell runs under " + env("RQ_E2E_SHELL_WRAPPER");
  return "";
}

// The words of the wrapper named in the environment variable, split at blanks.
static std::vector<std::string> wrapper_words(const char* name) {
  std::vector<std::string> out;
  std::string word;
  std::string wrapper = env(name);
  for (const char* p = wrapper.c_str();; ++p) {
    if (*p && *p != ' ') {
      word += *p;
      continue;
    }
    if (!word.empty()) out.push_back(word);
    word.clear();
    if (!*p) break;
  }
  return out;
}

static bool names_rqtool(const std::string& program) {
#ifdef RQTOOL_BIN
  return program == RQTOOL_BIN;
#else
  (void)program;
  return false;  // not built here
#endif
}

// RQ_E2E_SHELL, when set, names the shell to run in place of the one built with the tests
// (CI: the Windows build under wine, the 32-bit Linux build under qemu). RQ_E2E_SHELL_WRAPPER,
// when set, runs the shell under another program, its words split at blanks (CI: "valgrind
// -q --error-exitcode=99 --leak-check=full", wine, qemu-i386); RQ_E2E_TOOL_WRAPPER does the
// same for rqtool. A wrapper's findings show as a failed exit status and as text on
// standard error, which the tests check.
std::vector<std::string> shell_command(const std::vector<std::string>& argv) {
  if (argv.empty()) return argv;
  bool shell = argv[0] == rqshell_bin();
  if (!shell && !names_rqtool(argv[0])) return argv;
  std::vector<std::string> out =
      wrapper_words(shell ? "RQ_E2E_SHELL_WRAPPER" : "RQ_E2E_TOOL_WRAPPER");
  out.insert(out.end(), argv.begin(), argv.end());
  std::string stand_in = shell ? env("RQ_E2E_SHELL") : "";
  if (!stand_in.empty()) out[out.size() - argv.size()] = stand_in;
  return out;
}

// A Windows console program ends its lines with CR LF; the tests compare LF.
static void crlf_to_lf(std::string& text) {
  size_t to = 0;
  for (size_t from = 0; from < text.size(); ++from) {
    if (text[from] == '\r' && from + 1 < text.size() && text[from + 1] == '\n') continue;
    text[to++] = text[from];
  }
  text.resize(to);
}

Run run_program(const std::vector<std::string>& program, const std::string& stdin_text,
                int timeout_ms, const std::string& cwd) {
  const std::vector<std::string> argv = shell_command(program);
  Run run;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return run;
  pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> v = c_argv(argv);
    execvp(v[0], v.data());  // a wrapper is found on PATH
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  size_t fed = 0;
  if (stdin_text.empty()) close(in[1]), in[1] = -1;
  long long deadline = now_ms() + timeout_ms;
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    long long left = deadline - now_ms();
    if (left <= 0) {
      run.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    pollfd p[3] = {{out_open ? out[0] : -1, POLLIN, 0},
                   {err_open ? err[0] : -1, POLLIN, 0},
                   {in[1], POLLOUT, 0}};
    if (poll(p, 3, static_cast<int>(left < 100 ? left : 100)) < 0) continue;
    char buf[65536];
    if (p[0].revents) {
      ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0)
        out_open = false;
      else
        run.out.append(buf, static_cast<size_t>(n));
    }
    if (p[1].revents) {
      ssize_t n = read(err[0], buf, sizeof buf);
      if (n <= 0)
        err_open = false;
      else
        run.err.append(buf, static_cast<size_t>(n));
    }
    if (in[1] >= 0 && p[2].revents) {
      ssize_t n = write(in[1], stdin_text.data() + fed, stdin_text.size() - fed);
      if (n > 0) fed += static_cast<size_t>(n);
      if (n < 0 || fed == stdin_text.size()) close(in[1]), in[1] = -1;
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.max_rss_kb = usage.ru_maxrss;
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (shell_is_windows() && argv != program) {
    crlf_to_lf(run.out);
    crlf_to_lf(run.err);
  }
  return run;
}

Run run_shell_script(const Sim& sim, const TempDir& dir, const std::string& script,
                     const std::string& stdin_text, int timeout_ms) {
  std::string path = dir / "script.rq";
  write_file(path, script);
  return run_program({rqshell_bin(), path, "127.0.0.1", std::to_string(sim.port)}, stdin_text,
                     timeout_ms, dir.path());
}

}  // namespace rq::e2e
