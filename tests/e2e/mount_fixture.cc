#include "e2e/mount_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "device/safe_replace.h"
#include "support/process.h"

namespace rq::e2e {

namespace fs = std::filesystem;

namespace {

bool on_path(const char* program) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The exit status of a wait status, or -1 (killed by a signal, or still running).
int exit_status_of(int status) {
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string errno_text(int e) { return e ? strerror(e) : "success"; }

std::string mount_unavailable_reason() {
  if (access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse is missing or not usable";
  if (!on_path("fusermount3")) return "fusermount3 is not installed";
  return "";
}

std::string describe_tree(const std::string& root) {
  std::vector<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string rel = it->path().string().substr(root.size());
    if (it->is_directory()) {
      lines.push_back(rel + ": dir");
    } else {
      std::string bytes = read_file(it->path().string());
      lines.push_back(rel + ": file " + std::to_string(bytes.size()) + " " +
                      std::to_string(std::hash<std::string>{}(bytes)));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

std::vector<std::string> side_names_in(const std::string& root) {
  std::vector<std::string> found;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    ReplaceSide side;
    std::string target;
    if (parse_replace_side_name(it->path().filename().string(), &side, &target))
      found.push_back(it->path().string());
  }
  return found;
}

void MountTest::SetUp() {
  std::string why = mount_unavailable_reason();
  if (!why.empty()) {
    const char* required = getenv("RQ_REQUIRE_FUSE");
    if (required && std::string(required) == "1") FAIL() << "RQ_REQUIRE_FUSE=1 but " << why;
    GTEST_SKIP() << why;
  }
  fs::create_directories(root());
  fs::create_directories(mnt());
  fs::create_directories(dir_ / "boots");
}

void MountTest::TearDown() {
  if (mount_pid_ > 0 || mounted()) unmount();
  stop_sim();
}

void MountTest::start_sim(const std::vector<std::string>& extra, int port) {
  stop_sim();
  std::vector<std::string> args = {"--root", root(), "--boot-dir", dir_ / "boots"};
  if (port) args.insert(args.end(), {"--port", std::to_string(port)});
  args.insert(args.end(), extra.begin(), extra.end());
  ASSERT_TRUE(e2e::start_sim(sim_, args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
}

void MountTest::stop_sim() { e2e::stop_sim(sim_); }

bool MountTest::mounted() const {
  std::string table = read_file("/proc/self/mountinfo");
  return table.find(" " + mnt() + " ") != std::string::npos;
}

bool MountTest::mount(const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {
      RQMOUNT_BIN, "-f",
      "-p",        std::to_string(sim_.port),
      "-o",        "log=" + (dir_ / "mount.log") + ",cache_dir=" + cache()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  argv.push_back(mnt());
  std::string err_path = dir_ / "mount.err";
  int pid = testing::spawn(argv, dir_.path(), err_path, err_path);
  mount_pid_ = pid;
  long long deadline = testing::now_ms() + 10000;
  while (testing::now_ms() < deadline) {
    if (mounted()) return true;
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      mount_pid_ = -1;
      break;
    }
    usleep(20000);
  }
  ADD_FAILURE() << "the mount did not stand\n" << read_file(err_path) << log();
  return false;
}

int MountTest::unmount() {
  if (mounted()) {
    e2e::Run r = run_program({"fusermount3", "-u", mnt()}, "", 10000);
    if (r.exit_status != 0) run_program({"fusermount3", "-u", "-z", mnt()}, "", 10000);
  }
  if (mount_pid_ <= 0) return -1;
  int status = exit_status_of(testing::wait_for_exit(mount_pid_, 40000));
  mount_pid_ = -1;
  return status;
}

int MountTest::signal_mount(int sig, int wait_ms) {
  if (mount_pid_ <= 0) return -1;
  kill(mount_pid_, sig);
  int status = exit_status_of(testing::wait_for_exit(mount_pid_, wait_ms));
  mount_pid_ = -1;
  return status;
}

e2e::Run MountTest::sh(const std::string& command, int timeout_ms) {
  e2e::Run r = run_program({"/bin/sh", "-c", command}, "", timeout_ms, dir_.path());
  EXPECT_FALSE(r.timed_out) << command;
  return r;
}

}  // namespace rq::e2e
