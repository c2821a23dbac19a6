// The device file commands of the real rqshell against the real rqsim: a small tree built,
// listed, renamed, copied and pruned, checked on the console and in the host directory that
// holds the device's files; and path-escape attempts that must fail and touch nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

class FileCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root());
    fs::create_directories(outside());
  }
  void start() {
    ASSERT_TRUE(start_sim(sim_, {"--root", root(), "--boot-dir", dir_ / "boot"}, dir_ / "sim.err"))
        << read_file(dir_ / "sim.err");
  }
  void TearDown() override { stop_sim(sim_); }

  e2e::Run run(const std::string& script) {
    e2e::Run r = run_shell_script(sim_, dir_, script);
    EXPECT_FALSE(r.timed_out) << r.out;
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    return r;
  }

  // The device's files and, beside them, a host directory the device must never reach.
  std::string root() const { return dir_ / "host/root"; }
  std::string outside() const { return dir_ / "host/outside"; }

  TempDir dir_;
  Sim sim_;
};

TEST_F(FileCommands, BuildListRenameCopyAndRemove) {
  write_file(root() + "/readme.txt", "hello");
  start();
  e2e::Run r =
      run("mkdir docs\n"
          "mkdir docs\n"
          "cp readme.txt docs/copy.txt\n"
          "mv readme.txt notes.txt\n"
          "cd docs\n"
          "pwd\n"
          "mkdir sub\n"
          "ls\n"
          "ls copy.txt\n"
          "cd ..\n"
          "ls /\n"
          "rm docs/sub\n"
          "rm docs/sub\n"
          "ls docs\n"
          "pwd\n"
          "q\n");
  const std::string expected_prefix =
      "ERROR: file already exists \nmkdir command failed errcode = 7\n"
      "/docs\n"
      " contains 2 files\n1 File copy.txt \n2 Dir sub \n"
      "copy.txt 5Bytes uid=";
  ASSERT_EQ(r.out.substr(0, expected_prefix.size()), expected_prefix) << r.out;
  std::string rest = r.out.substr(r.out.find('\n', expected_prefix.size()) + 1);
  EXPECT_EQ(rest,
            "/ contains 2 files\n1 Dir docs \n2 File notes.txt \n"
            "ERROR: file does not exist \nrm command failed errcode = 9\n"
            "docs contains 1 files\n1 File copy.txt \n"
            "/\n")
      << r.out;

  std::map<std::string, std::string> want = {
      {"docs/", ""}, {"docs/copy.txt", "hello"}, {"notes.txt", "hello"}};
  EXPECT_EQ(tree_of(root()), want);
}

TEST_F(FileCommands, LaunchVerAndFormat) {
  fs::create_directories(root() + "/bin");
  std::string elf =
      "\x7f"
      "ELF";  // the magic the device checks before it launches
  elf.resize(64, '\0');
  write_file(root() + "/bin/hello.elf", elf);
  write_file(root() + "/notes.txt", "not a program");
  start();
  e2e::Run r = run("launch bin/hello.elf\nlaunch notes.txt\nver\nformat\nls\nq\n");
  EXPECT_TRUE(std::regex_match(r.out, std::regex("ERROR: invalid parameter \n"
                                                 "launch command failed errcode = 5\n"
                                                 "DX shell built at [^\n]+\n"
                                                 " contains 0 files\n")))
      << r.out;
  EXPECT_TRUE(fs::is_directory(root()));
  EXPECT_TRUE(fs::is_empty(root()));
}

TEST_F(FileCommands, PathsCannotEscapeTheRoot) {
  write_file(outside() + "/secret.txt", "keep out");
  fs::create_symlink(outside(), root() + "/link");
  fs::create_symlink(outside() + "/secret.txt", root() + "/secret-link");
  fs::create_directories(root() + "/inner");
  auto before = tree_of(dir_ / "host");
  start();

  struct Attempt {
    const char* line;
    const char* keyword;  // of the failure line, which a refusal prints for the command
  } attempts[] = {
      {"cd ..", "cd"},
      {"cd /..", "cd"},
      {"cd inner/../..", "cd"},
      {"mkdir ../x", "mkdir"},
      {"mkdir /../outside/x", "mkdir"},
      {"ls /../../etc", "ls"},
      {"ls ..", "ls"},
      {"ls link", "ls"},
      {"ls link/secret.txt", "ls"},
      {"cd link", "cd"},
      {"mkdir link/x", "mkdir"},
      {"rm link/secret.txt", "rm"},
      {"rm secret-link/", "rm"},
      {"mv link/secret.txt stolen.txt", "mv"},
      {"mv inner ../inner", "mv"},
      {"cp link/secret.txt stolen.txt", "cp"},
      {"cp secret-link stolen.txt", "cp"},
      {"launch ../outside/secret.txt", "launch"},
  };
  std::string script;
  for (const Attempt& a : attempts) script += std::string(a.line) + "\npwd\n";
  e2e::Run r = run(script + "q\n");

  // Each attempt prints exactly its failure report with a non-zero status, and the
  // current directory stays at the root.
  std::string pattern;
  for (const Attempt& a : attempts)
    pattern += std::string("ERROR: [a-z ]+ \n") + a.keyword +
               " command failed (rcv cmd |rcving cmd |rv cmd |rcv cmd errcode |errcode )= "
               "(-?[1-9][0-9]*)\n/\n";
  EXPECT_TRUE(std::regex_match(r.out, std::regex(pattern))) << r.out;

  EXPECT_EQ(tree_of(dir_ / "host"), before);
}

}  // namespace
}  // namespace rq::e2e
