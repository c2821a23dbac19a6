// Everyday tools on the mount: trees copied in and out, rsync, an editor's save, writes in
// the middle, truncation, appending, unlink while open, directory moves. Each result is
// compared with the local source and with rqsim's root, byte for byte.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/mount_fixture.h"

namespace rq::e2e {
namespace {

namespace fs = std::filesystem;

class MountTree : public MountTest {};

// A source tree with the cases that break naive copies.
void make_tree(const std::string& top) {
  fs::create_directories(top + "/empty dir");
  fs::create_directories(top + "/sub/deeper");
  write_file(top + "/empty", "");
  write_file(top + "/with blanks.txt", "a b c\n");
  write_file(top + "/sub/grüße ✓.txt", random_bytes(5000, 1));
  write_file(top + "/sub/deeper/chunky.bin", random_bytes(16384 * 3 + 17, 2));
  write_file(top + "/big.bin", random_bytes(50 * 1000 * 1000, 3));
}

TEST_F(MountTree, CopiesATreeInAndOutByteForByte) {
  start_sim();
  ASSERT_TRUE(mount());
  std::string src = dir_ / "src";
  make_tree(src);
  e2e::Run in = sh("cp -r '" + src + "' '" + mnt() + "/tree'", 300000);
  EXPECT_EQ(in.exit_status, 0) << in.err;
  EXPECT_EQ(describe_tree(root() + "/tree"), describe_tree(src));
  e2e::Run out = sh("cp -r '" + mnt() + "/tree' '" + (dir_ / "back") + "'", 300000);
  EXPECT_EQ(out.exit_status, 0) << out.err;
  EXPECT_EQ(describe_tree(dir_ / "back"), describe_tree(src));
  EXPECT_EQ(side_names_in(root()), std::vector<std::string>{});
  EXPECT_EQ(unmount(), 0) << log();
}

TEST_F(MountTree, RsyncWithChecksumSendsNothingTheSecondTime) {
  start_sim();
  ASSERT_TRUE(mount());
  std::string src = dir_ / "src";
  fs::create_directories(src + "/d");
  write_file(src + "/a.txt", "alpha\n");
  write_file(src + "/d/b.bin", random_bytes(40000, 4));
  std::string rsync = "rsync -r --checksum -i '" + src + "/' '" + mnt() + "/copy/'";
  e2e::Run first = sh(rsync);
  EXPECT_EQ(first.exit_status, 0) << first.err;
  EXPECT_EQ(describe_tree(root() + "/copy"), describe_tree(src));
  e2e::Run second = sh(rsync);
  EXPECT_EQ(second.exit_status, 0) << second.err;
  EXPECT_EQ(second.out, "") << "the second run changed something";
  // A same-size change is seen with --checksum.
  write_file(src + "/a.txt", "ALPHA\n");
  e2e::Run third = sh(rsync);
  EXPECT_NE(third.out.find("a.txt"), std::string::npos) << third.out;
  EXPECT_EQ(read_file(root() + "/copy/a.txt"), "ALPHA\n");
  EXPECT_EQ(side_names_in(root()), std::vector<std::string>{});
}

TEST_F(MountTree, EditsReachTheDeviceAsTheyWouldALocalDisk) {
  write_file(root() + "/notes.txt", "line one\nline two\n");
  write_file(root() + "/data.bin", std::string(100000, 'a'));
  start_sim();
  ASSERT_TRUE(mount());
  const std::string m = mnt();

  // An editor's save: a temporary file, renamed over the old one.
  write_file(m + "/.notes.txt.swp", "line one\nline 2\n");
  ASSERT_EQ(rename((m + "/.notes.txt.swp").c_str(), (m + "/notes.txt").c_str()), 0);
  EXPECT_EQ(read_file(root() + "/notes.txt"), "line one\nline 2\n");

  // dd into the middle, truncate, append.
  EXPECT_EQ(sh("printf XYZ | dd of='" + m + "/data.bin' bs=1 seek=50000 conv=notrunc 2>/dev/null")
                .exit_status,
            0);
  std::string expected(100000, 'a');
  expected.replace(50000, 3, "XYZ");
  EXPECT_EQ(read_file(root() + "/data.bin"), expected);
  EXPECT_EQ(truncate((m + "/data.bin").c_str(), 60000), 0);
  expected.resize(60000);
  EXPECT_EQ(read_file(root() + "/data.bin"), expected);
  EXPECT_EQ(sh("printf tail >> '" + m + "/data.bin'").exit_status, 0);
  EXPECT_EQ(read_file(root() + "/data.bin"), expected + "tail");
  int fd = open((m + "/data.bin").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(pwrite(fd, "!", 1, 0), 1);  // O_APPEND: the offset is ignored
  EXPECT_EQ(close(fd), 0);
  EXPECT_EQ(read_file(root() + "/data.bin"), expected + "tail!");

  // Unlink while open: gone from the device at once, still readable through the handle.
  fd = open((m + "/notes.txt").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(unlink((m + "/notes.txt").c_str()), 0);
  EXPECT_FALSE(file_exists(root() + "/notes.txt"));
  char buf[64] = {};
  EXPECT_EQ(pread(fd, buf, sizeof buf, 0), 16);
  EXPECT_EQ(std::string(buf), "line one\nline 2\n");
  EXPECT_EQ(close(fd), 0);
  EXPECT_FALSE(file_exists(root() + "/notes.txt"));

  // mkdir -p, mv of a directory, rm -r.
  EXPECT_EQ(sh("mkdir -p '" + m + "/a/b/c' && echo x > '" + m + "/a/b/c/f'").exit_status, 0);
  EXPECT_EQ(read_file(root() + "/a/b/c/f"), "x\n");
  EXPECT_EQ(sh("mv '" + m + "/a' '" + m + "/moved'").exit_status, 0);
  EXPECT_TRUE(fs::is_directory(root() + "/moved/b/c"));
  EXPECT_FALSE(fs::exists(root() + "/a"));
  EXPECT_EQ(read_file(m + "/moved/b/c/f"), "x\n");
  EXPECT_EQ(sh("rm -r '" + m + "/moved'").exit_status, 0);
  EXPECT_FALSE(fs::exists(root() + "/moved"));
  EXPECT_EQ(side_names_in(root()), std::vector<std::string>{});
}

}  // namespace
}  // namespace rq::e2e
