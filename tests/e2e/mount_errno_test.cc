// The errno of each case in the mount's table, through real system calls on the mount.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "e2e/mount_fixture.h"

namespace rq::e2e {
namespace {

namespace fs = std::filesystem;

class MountErrno : public MountTest {};

int result_of(int rc) { return rc < 0 ? errno : 0; }

TEST_F(MountErrno, EachCaseGivesItsErrno) {
  fs::create_directories(root() + "/dir");
  fs::create_directories(root() + "/full");
  fs::create_directories(root() + "/empty");
  write_file(root() + "/full/f", "x");
  write_file(root() + "/file", "data");
  start_sim({"--status", "mkdir=8"});
  ASSERT_TRUE(mount());
  const std::string m = mnt() + "/";
  auto path = [&](const std::string& p) { return m + p; };
  struct Row {
    const char* name;
    std::function<int()> call;
    int expected;
  } rows[] = {
      {"open of a missing file", [&] { return result_of(open(path("nope").c_str(), O_RDONLY)); },
       ENOENT},
      {"unlink of a directory", [&] { return result_of(unlink(path("dir").c_str())); }, EISDIR},
      {"rmdir of a file", [&] { return result_of(rmdir(path("file").c_str())); }, ENOTDIR},
      {"rmdir of a directory with entries", [&] { return result_of(rmdir(path("full").c_str())); },
       ENOTEMPTY},
      {"mkdir refused: out of inodes", [&] { return result_of(mkdir(path("new").c_str(), 0755)); },
       ENOSPC},
      {"a name with byte 0x01",
       [&] { return result_of(open(path("a\x01").c_str(), O_CREAT | O_WRONLY, 0644)); }, EINVAL},
      {"a name with byte 0x02",
       [&] { return result_of(open(path("a\x02").c_str(), O_CREAT | O_WRONLY, 0644)); }, EINVAL},
      {"a path past the device's limit",
       [&] {
         return result_of(open(path(std::string(250, 'n')).c_str(), O_CREAT | O_WRONLY, 0644));
       },
       ENAMETOOLONG},
      {"a write past 2 GiB - 1",
       [&] {
         int fd = open(path("file").c_str(), O_WRONLY);
         int rc = result_of(static_cast<int>(pwrite(fd, "x", 1, 2147483647LL)));
         close(fd);
         return rc;
       },
       EFBIG},
      {"link", [&] { return result_of(link(path("file").c_str(), path("hard").c_str())); }, EPERM},
      {"symlink", [&] { return result_of(symlink("file", path("soft").c_str())); }, EPERM},
      {"mknod", [&] { return result_of(mkfifo(path("fifo").c_str(), 0644)); }, EPERM},
      {"setxattr", [&] { return result_of(setxattr(path("file").c_str(), "user.x", "1", 1, 0)); },
       ENOTSUP},
      {"fallocate",
       [&] {
         int fd = open(path("file").c_str(), O_RDWR);
         int rc = result_of(fallocate(fd, 0, 0, 100));
         close(fd);
         return rc;
       },
       EOPNOTSUPP},
      {"rename with RENAME_EXCHANGE",
       [&] {
         return result_of(
             static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, path("file").c_str(), AT_FDCWD,
                                      path("dir").c_str(), RENAME_EXCHANGE)));
       },
       EINVAL},
      {"rename with RENAME_NOREPLACE over a file",
       [&] {
         write_file(path("other"), "o");
         return result_of(
             static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, path("other").c_str(), AT_FDCWD,
                                      path("file").c_str(), RENAME_NOREPLACE)));
       },
       EEXIST},
      {"rename of a directory over one with entries",
       [&] { return result_of(rename(path("empty").c_str(), path("full").c_str())); }, ENOTEMPTY},
      {"rename of a file over a directory",
       [&] { return result_of(rename(path("file").c_str(), path("dir").c_str())); }, EISDIR},
      {"rename of a directory over a file",
       [&] { return result_of(rename(path("dir").c_str(), path("file").c_str())); }, ENOTDIR},
      {"mkdir of an existing name", [&] { return result_of(mkdir(path("dir").c_str(), 0755)); },
       EEXIST},
  };
  for (const Row& row : rows)
    EXPECT_EQ(errno_text(row.call()), errno_text(row.expected)) << row.name;
  EXPECT_EQ(read_file(root() + "/file"), "data") << "a refused call changed the file";
  EXPECT_TRUE(fs::is_directory(root() + "/dir"));

  struct statvfs st;
  ASSERT_EQ(statvfs(mnt().c_str(), &st), 0);
  EXPECT_GT(st.f_bavail, 0u);
  EXPECT_EQ(st.f_namemax, 255u);
}

TEST_F(MountErrno, AttributesAreKeptInMemoryOrRefusedWhenStrict) {
  write_file(root() + "/file", "data");
  start_sim();
  ASSERT_TRUE(mount());
  std::string f = mnt() + "/file";
  EXPECT_EQ(chmod(f.c_str(), 0600), 0);
  timespec times[2] = {{1000, 0}, {2000, 0}};
  EXPECT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_mtime, 2000);
  EXPECT_EQ(st.st_uid, getuid());
  // cp -p and rsync -a keep what they set.
  e2e::Run cp = sh("cp -p '" + f + "' '" + mnt() + "/copy'");
  EXPECT_EQ(cp.exit_status, 0) << cp.err;
  ASSERT_EQ(stat((mnt() + "/copy").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 2000);
  EXPECT_EQ(read_file(root() + "/copy"), "data");
  ASSERT_EQ(unmount(), 0);

  ASSERT_TRUE(mount({"-o", "strict_attrs"}));
  errno = 0;
  EXPECT_EQ(chmod(f.c_str(), 0600), -1);
  EXPECT_EQ(errno, EPERM);
}

}  // namespace
}  // namespace rq::e2e
