// The mount when things go wrong: uploads refused or cut against a device that writes in
// place, the proxy stopped and started again, a stop with a dirty file, an idle link.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "e2e/mount_fixture.h"
#include "e2e/tool_fixture.h"
#include "support/process.h"

namespace rq::e2e {
namespace {

class MountFailure : public MountTest {};

// Writes bytes to path through a new handle; the close's errno (0 when it succeeded).
int write_and_close(const std::string& path, const std::string& bytes, int flags) {
  int fd = open(path.c_str(), O_WRONLY | flags, 0644);
  if (fd < 0) return errno;
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    int e = errno;
    close(fd);
    return e;
  }
  return close(fd) == 0 ? 0 : errno;
}

// Waits (bounded) until cond holds; false if it never did.
template <typename Cond>
bool eventually(Cond cond, int wait_ms = 20000) {
  for (int waited = 0; waited < wait_ms; waited += 50) {
    if (cond()) return true;
    testing::sleep_ms(50);
  }
  return cond();
}

TEST_F(MountFailure, ARefusedOrCutUploadFailsTheCloseAndKeepsTheOldFile) {
  struct Row {
    const char* name;
    std::vector<std::string> sim_options;
    int expected_errno;
  } rows[] = {
      {"grant refused: out of inodes", {"--refuse", "put:3=8"}, ENOSPC},
      {"final status refused", {"--status", "put=4"}, EIO},
      {"connection cut mid-upload", {"--drop", "put:40000"}, EIO},
  };
  const std::string old_content = random_bytes(70000, 7);
  const std::string new_content = random_bytes(90000, 8);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    write_file(root() + "/f.bin", old_content);
    std::vector<std::string> options = {"--put-in-place"};
    options.insert(options.end(), row.sim_options.begin(), row.sim_options.end());
    start_sim(options);
    ASSERT_TRUE(mount({"-o", "flush_deadline=2"}));
    // The safe replace of an existing file.
    EXPECT_EQ(errno_text(write_and_close(mnt() + "/f.bin", new_content, O_TRUNC)),
              errno_text(row.expected_errno));
    EXPECT_EQ(read_file(root() + "/f.bin"), old_content);
    unmount();
    EXPECT_EQ(read_file(root() + "/f.bin"), old_content);
    // A cut upload may leave its partial temporary file: the next mount repairs it.
    start_sim();
    ASSERT_TRUE(mount());
    EXPECT_EQ(read_file(mnt() + "/f.bin"), old_content);
    sh("ls -a '" + mnt() + "'");
    unmount();
    EXPECT_EQ(side_names_in(root()), std::vector<std::string>{});
  }
}

TEST_F(MountFailure, ARenameOverThatTheDeviceRefusesKeepsTheOldFile) {
  write_file(root() + "/target", "old");
  write_file(root() + "/source", "new");
  start_sim({"--put-in-place", "--refuse", "mv:2=3"});
  ASSERT_TRUE(mount());
  errno = 0;
  EXPECT_EQ(rename((mnt() + "/source").c_str(), (mnt() + "/target").c_str()), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(read_file(root() + "/target"), "old");
  EXPECT_EQ(read_file(root() + "/source"), "new");
  EXPECT_EQ(side_names_in(root()), std::vector<std::string>{});
}

TEST_F(MountFailure, AProxyStoppedAndStartedAgainComesBackWithTheDirtyFileDelivered) {
  write_file(root() + "/kept.txt", "kept");
  start_sim();
  int port = sim_.port;
  ASSERT_TRUE(mount());
  EXPECT_EQ(read_file(mnt() + "/kept.txt"), "kept");
  int fd = open((mnt() + "/dirty.txt").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  stop_sim();
  // Writing works (into the cache); the close cannot send and says so.
  EXPECT_EQ(write(fd, "dirty", 5), 5);
  errno = 0;
  EXPECT_EQ(close(fd), -1);
  EXPECT_EQ(errno_text(errno), errno_text(EIO));
  // Requests that need the device fail at once instead of hanging.
  struct stat st;
  errno = 0;
  EXPECT_EQ(stat((mnt() + "/not-cached").c_str(), &st), -1);
  EXPECT_EQ(errno_text(errno), errno_text(EIO));
  // What the caches hold is still served.
  EXPECT_EQ(read_file(mnt() + "/kept.txt"), "kept");

  start_sim({}, port);
  EXPECT_TRUE(eventually([&] { return read_file(root() + "/dirty.txt") == "dirty"; })) << log();
  EXPECT_TRUE(eventually([&] { return stat((mnt() + "/kept.txt").c_str(), &st) == 0; }));
  EXPECT_EQ(read_file(mnt() + "/kept.txt"), "kept");
  EXPECT_EQ(unmount(), 0) << log();
}

TEST_F(MountFailure, AFileChangedElsewhereWhileTheLinkWasDownIsKeptNotSent) {
  write_file(root() + "/shared.txt", "original");
  start_sim();
  int port = sim_.port;
  ASSERT_TRUE(mount());
  EXPECT_EQ(read_file(mnt() + "/shared.txt"), "original");
  stop_sim();
  EXPECT_EQ(errno_text(write_and_close(mnt() + "/shared.txt", "mine", O_TRUNC)), errno_text(EIO));
  write_file(root() + "/shared.txt", "theirs, longer");  // another client, meanwhile
  start_sim({}, port);
  EXPECT_TRUE(eventually([&] { return log().find("changed on the device") != std::string::npos; }))
      << log();
  EXPECT_EQ(read_file(root() + "/shared.txt"), "theirs, longer");
  EXPECT_NE(log().find(cache() + "/unsent/"), std::string::npos) << log();
}

TEST_F(MountFailure, SigtermSendsTheDirtyFileThenExits) {
  start_sim();
  ASSERT_TRUE(mount());
  int fd = open((mnt() + "/late.txt").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "late data", 9), 9);
  // Still open and dirty when the signal comes.
  EXPECT_EQ(signal_mount(SIGTERM), 0) << log();
  close(fd);
  EXPECT_EQ(read_file(root() + "/late.txt"), "late data");
  EXPECT_FALSE(mounted());
}

TEST_F(MountFailure, ASecondSignalExitsAtOnceKeepingTheUnsentFile) {
  start_sim();
  int port = sim_.port;
  ASSERT_TRUE(mount({"-o", "flush_deadline=60"}));
  int fd = open((mnt() + "/lost.txt").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  stop_sim();
  EXPECT_EQ(write(fd, "precious", 8), 8);
  EXPECT_EQ(close(fd), -1);
  (void)port;
  kill(mount_pid_, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(signal_mount(SIGINT, 5000), 1) << log();
  EXPECT_NE(log().find("not sent: /lost.txt, kept as " + cache() + "/unsent/"), std::string::npos)
      << log();
  EXPECT_EQ(sh("cat '" + cache() + "'/unsent/*lost.txt").out, "precious");
  EXPECT_NE(read_file(dir_ / "mount.err").find("not sent: /lost.txt"), std::string::npos)
      << "in the foreground, standard error names it too";
}

TEST_F(MountFailure, AnIdleMountLetsAnotherClientUseTheProxy) {
  write_file(root() + "/a.txt", "a");
  start_sim();
  ASSERT_TRUE(mount({"-o", "idle=0.5"}));
  EXPECT_EQ(read_file(mnt() + "/a.txt"), "a");
  EXPECT_TRUE(eventually([&] { return log().find("idle") != std::string::npos; })) << log();
  e2e::Run tool = run_program(
      {rqtool_bin(), "-p", std::to_string(sim_.port), "-t", "5", "mkdir", "/from-rqtool"}, "",
      20000);
  EXPECT_EQ(tool.exit_status, 0) << tool.err;
  // The next burst opens the link again (the cache does not know the new directory yet).
  EXPECT_EQ(mkdir((mnt() + "/from-mount").c_str(), 0755), 0);
  EXPECT_TRUE(std::filesystem::is_directory(root() + "/from-rqtool"));
  EXPECT_TRUE(std::filesystem::is_directory(root() + "/from-mount"));
}

TEST_F(MountFailure, AKilledMountLeavesNoDeadMountPointAndTheTraceShowsItsFrames) {
  write_file(root() + "/a.txt", "a");
  start_sim();
  ASSERT_TRUE(mount({"--trace=" + (dir_ / "trace")}));
  EXPECT_EQ(read_file(mnt() + "/a.txt"), "a");
  EXPECT_NE(read_file(dir_ / "trace").find("rqmount -> command"), std::string::npos);
  kill(mount_pid_, SIGKILL);
  testing::wait_for_exit(mount_pid_, 5000);
  mount_pid_ = -1;
  EXPECT_TRUE(eventually([&] { return !mounted(); }, 10000)) << "auto_unmount left the mount";
}

TEST_F(MountFailure, WhatASharedMappingWritesAfterTheLastCloseIsSentAtRelease) {
  start_sim();
  ASSERT_TRUE(mount());
  std::string path = mnt() + "/mapped.bin";
  int fd = open(path.c_str(), O_CREAT | O_RDWR, 0644);
  ASSERT_GE(fd, 0);
  std::string zeros(8192, '0');
  ASSERT_EQ(write(fd, zeros.data(), zeros.size()), 8192);
  void* map = mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  EXPECT_EQ(close(fd), 0);  // sends the zeros
  EXPECT_EQ(read_file(root() + "/mapped.bin"), zeros);
  memcpy(static_cast<char*>(map) + 4096, "mapped", 6);
  EXPECT_EQ(munmap(map, 8192), 0);  // the pages are written back, then the file released
  std::string expected = zeros;
  expected.replace(4096, 6, "mapped");
  EXPECT_TRUE(eventually([&] { return read_file(root() + "/mapped.bin") == expected; })) << log();
}

}  // namespace
}  // namespace rq::e2e
