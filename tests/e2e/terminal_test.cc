// The shell at a real terminal: rqshell runs in a detached tmux pane of fixed size against
// rqsim, keys are typed with send-keys and the screen is read back with capture-pane, so
// the test sees what a person would see: the prompt, completed commands, recalled lines,
// the progress line of a long download and the clean screen after it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

namespace rq::e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::string find_tmux() {
  const char* path = getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = dir + "/tmux";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::vector<std::string> lines_of(const std::string& screen);

std::string last_line(const std::string& screen) {
  auto lines = lines_of(screen);
  return lines.empty() ? "" : lines.back();
}

std::vector<std::string> lines_of(const std::string& screen) {
  std::vector<std::string> lines;
  std::stringstream in(screen);
  for (std::string line; std::getline(in, line);) {
    // Joined lines keep their trailing blanks; the prompt's blank is no part of the text.
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class Terminal : public ::testing::Test {
 protected:
  void SetUp() override {
    // The pane runs the shell built here; a Windows console is no tmux pane, and another
    // build or a wrapper would change what the screen shows.
    std::string other = shell_not_native_reason();
    if (!other.empty()) GTEST_SKIP() << "terminal tests drive the shell built here only; " << other;
    tmux_ = find_tmux();
    if (tmux_.empty()) GTEST_SKIP() << "tmux is not installed; the terminal test needs it";
    // A server of our own, so that nothing here touches a tmux the developer is using.
    socket_ = "rqterm-" + std::to_string(getpid()) + "-" +
              std::to_string(Clock::now().time_since_epoch().count());
  }

  void TearDown() override {
    if (started_) tmux({"kill-server"});
    // The server leaves its socket file behind.
    const char* tmp = getenv("TMUX_TMPDIR");
    std::string socket_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tmux-" +
                              std::to_string(getuid()) + "/" + socket_;
    unlink(socket_path.c_str());
    stop_sim(sim_);
  }

  e2e::Run tmux(std::vector<std::string> args) {
    // No personal tmux.conf or .editrc may change the keys: the server starts without a
    // configuration file and with the test's directory as its home. The pane's command is
    // sh's, whatever the user's login shell (fish, or nologin for a service account).
    std::vector<std::string> argv = {"/usr/bin/env",        "-u",           "TMUX", "TERM=xterm",
                                     "HOME=" + dir_.path(), "SHELL=/bin/sh"};
    argv.insert(argv.end(), {tmux_, "-f", "/dev/null", "-L", socket_});
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, "", 10000);
  }

  void start_shell(const std::vector<std::string>& sim_args) {
    ASSERT_TRUE(start_sim(sim_, sim_args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
    // The pane outlives the shell, so that its exit status can be read from the screen.
    std::string command = rqshell_bin() + " 127.0.0.1 " + std::to_string(sim_.port) +
                          "; echo \"[exit $?]\"; sleep 60";
    e2e::Run r =
        tmux({"new-session", "-d", "-s", "t", "-x", "100", "-y", "40", "-c", dir_.path(), command});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    started_ = true;
  }

  void keys(std::vector<std::string> keys) {
    keys.insert(keys.begin(), {"send-keys", "-t", "t"});
    tmux(keys);
  }
  void text(const std::string& literal) { tmux({"send-keys", "-t", "t", "-l", literal}); }

  // The visible screen: long lines joined, trailing blanks and empty lines dropped.
  std::string screen() {
    std::string s;
    for (const std::string& line : lines_of(tmux({"capture-pane", "-p", "-J", "-t", "t"}).out))
      s += line + "\n";
    return s;
  }

  // Polls the screen until done says so; returns the last screen (the test then fails on
  // its own expectations if the time ran out).
  std::string wait_for(const std::function<bool(const std::string&)>& done, int timeout_ms,
                       const std::function<void(const std::string&)>& each = nullptr) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string s;
    do {
      s = screen();
      if (each) each(s);
      if (done(s)) return s;
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    } while (Clock::now() < deadline);
    ADD_FAILURE() << "timed out; the screen shows:\n" << s;
    return s;
  }
  std::string wait_for_line(const std::string& line, int timeout_ms = 10000) {
    return wait_for(
        [&](const std::string& s) {
          for (const std::string& l : lines_of(s))
            if (l == line) return true;
          return false;
        },
        timeout_ms);
  }
  // Waits until the screen ends with the prompt (capture drops its trailing blank).
  std::string wait_for_prompt_after(const std::string& text, int timeout_ms = 10000) {
    return wait_for(
        [&](const std::string& s) {
          auto l = lines_of(s);
          return l.size() >= 2 && l.back() == ">" && s.find(text) != std::string::npos;
        },
        timeout_ms);
  }

  std::string tmux_;
  std::string socket_;
  bool started_ = false;
  TempDir dir_;
  Sim sim_;
};

TEST_F(Terminal, LineEditingCompletionAndHistory) {
#ifndef RQ_LINE_EDITOR_BUILT
  GTEST_SKIP() << "rqshell was built without a line editor (libedit not found or "
                  "RQ_LINE_EDITOR=OFF): no completion or history to check";
#endif
  std::filesystem::create_directories(dir_ / "root");
  write_file(dir_ / "upload-me.bin", "payload bytes\n");
  start_shell({"--root", dir_ / "root", "--diag-delay", "0"});
  wait_for_line(">");

  // A keyword completed with tab.
  keys({"pw", "Tab"});
  wait_for_line("> pwd");
  keys({"Enter"});
  wait_for_prompt_after("> pwd\n/\n");

  // The diag question is answered through the same editor; the answer is no command.
  keys({"diag g", "Tab", "Enter"});
  wait_for_line("Did you see 'Quorbel Dexlink Diags on Gba'? (y/n)?");
  keys({"y", "Enter"});
  wait_for_prompt_after("\\/ GBA TEST PASSED");

  // A local file name completed with tab in put's first argument.
  keys({"put upl", "Tab"});
  wait_for_line("> put upload-me.bin");
  text("dev.bin");
  keys({"Enter"});
  wait_for_prompt_after("> put upload-me.bin dev.bin\nDownload ");
  EXPECT_EQ(read_file(dir_ / "root/dev.bin"), "payload bytes\n");

  // A line recalled with the up arrow runs again.
  keys({"ls /", "Enter"});
  wait_for_prompt_after("1 File dev.bin");
  keys({"Up"});
  wait_for([](const std::string& s) { return last_line(s) == "> ls /"; }, 10000);
  keys({"Enter"});
  wait_for(
      [](const std::string& s) {
        auto l = lines_of(s);
        return std::count(l.begin(), l.end(), "/ contains 1 files") == 2 && l.back() == ">";
      },
      10000);
  // Three steps back is the diag command, not its answer.
  keys({"Up", "Up", "Up"});
  wait_for([](const std::string& s) { return last_line(s) == "> diag gba"; }, 10000);
  keys({"C-u"});

  // A line longer than one read still arrives as two commands, as from a pipe.
  text("x" + std::string(1022, 'a') + std::string(10, 'b'));
  keys({"Enter"});
  wait_for_prompt_after("Shell Error: unknown command <bbbbbbbbbb>\n");

  // Ctrl-D at the prompt ends the shell with status 0.
  keys({"C-d"});
  wait_for_line("[exit 0]");
}

TEST_F(Terminal, ProgressLineShowsDuringALongDownloadAndLeavesNoTrace) {
  const std::string big = random_bytes(4 * 1024 * 1024, 7);
  std::filesystem::create_directories(dir_ / "root");
  write_file(dir_ / "root/big.bin", big);
  // Each frame waits a little, so that the download lasts long enough to show its meter.
  start_shell({"--root", dir_ / "root", "--stall", "3"});
  wait_for_line(">");

  text("get big.bin back.bin");
  keys({"Enter"});
  bool meter_seen = false;
  std::string s = wait_for(
      [](const std::string& s) {
        auto l = lines_of(s);
        return l.size() >= 2 && l.back() == ">" && s.find("\nDownload ") != std::string::npos;
      },
      60000,
      [&](const std::string& s) {
        if (s.find(" of 4.0 MiB ") != std::string::npos) meter_seen = true;
      });
  EXPECT_TRUE(meter_seen) << "no progress line was seen during the download";
  auto l = lines_of(s);
  ASSERT_EQ(l.size(), 3u) << s;
  EXPECT_EQ(l[0], "> get big.bin back.bin");
  EXPECT_EQ(l[1].rfind("Download 4096.0 KB ", 0), 0u) << s;
  EXPECT_EQ(l[2], ">");
  EXPECT_EQ(read_file(dir_ / "back.bin"), big);

  keys({"C-d"});
  wait_for_line("[exit 0]");
}

}  // namespace
}  // namespace rq::e2e
