// rqsim serving a device root and rqmount mounting it (in the foreground, as a child of the
// test) on a scratch mount point: the pieces every mount test shares. Every wait is bounded,
// and the mount is always taken down (fusermount3 -u, lazily if it is busy), so that a failed
// test leaves no stuck mount point and no process behind.
//
// Where /dev/fuse or fusermount3 is missing, the tests are skipped with the reason; with
// RQ_REQUIRE_FUSE=1 (CI) that is a failure instead.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/harness.h"

namespace rq::e2e {

// An errno as its text, "success" for 0, for comparisons that name what they got.
std::string errno_text(int e);

// Why mounts cannot run here ("" when they can).
std::string mount_unavailable_reason();

// A directory tree as a sorted list of "path: kind size content-hash" lines, for comparing
// two trees; names listed in `skip` at any depth are left out.
std::string describe_tree(const std::string& root);

// The names in a tree that look like the safe replace's side names.
std::vector<std::string> side_names_in(const std::string& root);

class MountTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // (Re)starts rqsim with extra options; port 0 picks a fresh one, else that port.
  void start_sim(const std::vector<std::string>& extra = {}, int port = 0);
  void stop_sim();
  // Mounts with extra rqmount options; false (with the log in the failure) when the mount
  // did not stand within a few seconds.
  bool mount(const std::vector<std::string>& extra = {});
  // Unmounts and waits (bounded) for rqmount to exit; returns its exit status or -1.
  int unmount();
  // Sends rqmount a signal and waits (bounded) for it to exit; its exit status or -1.
  int signal_mount(int sig, int wait_ms = 20000);
  bool mounted() const;

  std::string root() const { return dir_ / "root"; }
  std::string mnt() const { return dir_ / "mnt"; }
  std::string log() const { return read_file(dir_ / "mount.log"); }
  std::string cache() const { return dir_ / "cache"; }
  // Runs a command (a shell tool on the mount), bounded; its result.
  e2e::Run sh(const std::string& command, int timeout_ms = 60000);

  TempDir dir_;
  Sim sim_;
  int mount_pid_ = -1;
};

}  // namespace rq::e2e
