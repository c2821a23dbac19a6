#include "device_fs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "device_status.h"
#include "test_root.h"

namespace rq::sim {
namespace {

class DeviceFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.mkdir("/docs/sub");
    t.mkdir("/empty");
    t.write("/docs/readme.txt", "hello");
    t.write("/app.elf",
            "\x7f"
            "ELF....");
    t.write("/notes.txt", "not an elf");
  }
  testing::TestRoot t;
  uint8_t buf[7];  // smaller than the files, so copies take several reads
};

// The status each operation answers where a device has a choice to make.
TEST_F(DeviceFsTest, AnswersEachRefusalWithItsStatus) {
  DeviceFs& fs = t.fs;
  char where[kMaxDevicePath + 1];
  struct Case {
    const char* what;
    int rc;
    int want;
  } cases[] = {
      {"mkdir existing", fs_make_dir(fs, "docs"), -kStatusExists},
      {"mkdir /", fs_make_dir(fs, "/"), -kStatusExists},
      {"mkdir in a missing dir", fs_make_dir(fs, "nope/x"), -kStatusMissing},
      {"mkdir under a file", fs_make_dir(fs, "notes.txt/x"), -kStatusInvalidPath},
      {"mkdir empty path", fs_make_dir(fs, ""), -kStatusInvalidPath},
      {"rm missing", fs_remove(fs, "nope"), -kStatusMissing},
      {"rm non-empty dir", fs_remove(fs, "docs"), -kStatusAccess},
      {"rm /", fs_remove(fs, "/"), -kStatusInvalidParameter},
      {"cd to a file", fs_change_dir(fs, "notes.txt"), -kStatusInvalidPath},
      {"cd missing", fs_change_dir(fs, "nope"), -kStatusMissing},
      {"mv onto existing", fs_rename(fs, "notes.txt", "app.elf"), -kStatusExists},
      {"mv missing", fs_rename(fs, "nope", "x"), -kStatusMissing},
      {"mv dir into itself", fs_rename(fs, "docs", "docs/sub/docs"), -kStatusInvalidParameter},
      {"mv /", fs_rename(fs, "/", "x"), -kStatusInvalidParameter},
      {"cp a dir", fs_copy(fs, "docs", "d2", buf, sizeof buf), -kStatusInvalidParameter},
      {"cp onto existing", fs_copy(fs, "notes.txt", "app.elf", buf, sizeof buf), -kStatusExists},
      {"cp into missing dir", fs_copy(fs, "notes.txt", "nope/x", buf, sizeof buf), -kStatusMissing},
      {"launch non-ELF", fs_check_launchable(fs, "notes.txt", where), -kStatusInvalidParameter},
      {"launch a dir", fs_check_launchable(fs, "docs", where), -kStatusInvalidParameter},
      {"launch missing", fs_check_launchable(fs, "nope.elf", where), -kStatusMissing},
  };
  for (const Case& c : cases) EXPECT_EQ(c.rc, c.want) << c.what;
  EXPECT_EQ(t.read(t.host("/app.elf")),
            "\x7f"
            "ELF....");
  EXPECT_EQ(t.names(t.root()), "app.elf docs empty notes.txt");
}

TEST_F(DeviceFsTest, ChangesCopiesRenamesAndRemoves) {
  DeviceFs& fs = t.fs;
  EXPECT_EQ(fs_change_dir(fs, "docs/sub"), 0);
  EXPECT_STREQ(fs.cwd, "/docs/sub");
  EXPECT_EQ(fs_copy(fs, "../readme.txt", "copy.txt", buf, sizeof buf), 0);
  EXPECT_EQ(t.read(t.host("/docs/sub/copy.txt")), "hello");
  EXPECT_EQ(fs_rename(fs, "/docs", "/papers"), 0);  // renames the cwd away: it is now gone
  EXPECT_EQ(fs_make_dir(fs, "x"), -kStatusMissing);
  EXPECT_EQ(fs_change_dir(fs, ""), 0);
  EXPECT_STREQ(fs.cwd, "/");
  EXPECT_EQ(fs_remove(fs, "empty"), 0);
  EXPECT_EQ(fs_remove(fs, "papers/sub/copy.txt"), 0);
  char where[kMaxDevicePath + 1];
  EXPECT_EQ(fs_check_launchable(fs, "./app.elf", where), 0);
  EXPECT_STREQ(where, "/app.elf");
  EXPECT_EQ(t.names(t.root()), "app.elf notes.txt papers");
}

TEST_F(DeviceFsTest, UploadReplacesOnlyWhenCompleteAndLeavesNoTemporaryFile) {
  DeviceFs& fs = t.fs;
  Upload up;
  ASSERT_EQ(fs_upload_begin(fs, "/docs/readme.txt", up), 0);
  ASSERT_EQ(fs_upload_write(up, reinterpret_cast<const uint8_t*>("half"), 4), 0);
  EXPECT_EQ(t.read(t.host("/docs/readme.txt")), "hello");  // the old file until the end
  fs_upload_abort(up);
  EXPECT_EQ(t.read(t.host("/docs/readme.txt")), "hello");
  EXPECT_EQ(t.names(t.host("/docs")), "readme.txt sub");

  ASSERT_EQ(fs_upload_begin(fs, "/docs/readme.txt", up), 0);
  ASSERT_EQ(fs_upload_write(up, reinterpret_cast<const uint8_t*>("new text"), 8), 0);
  ASSERT_EQ(fs_upload_commit(up), 0);
  EXPECT_EQ(t.read(t.host("/docs/readme.txt")), "new text");
  EXPECT_EQ(t.names(t.host("/docs")), "readme.txt sub");

  EXPECT_EQ(fs_upload_begin(fs, "/docs/sub", up), -kStatusExists);
  EXPECT_EQ(fs_upload_begin(fs, "/nope/file", up), -kStatusMissing);
}

TEST_F(DeviceFsTest, FormatEmptiesTheRootButKeepsIt) {
  std::strcpy(t.fs.cwd, "/docs/sub");
  EXPECT_EQ(fs_format(t.fs), 0);
  EXPECT_STREQ(t.fs.cwd, "/");
  EXPECT_TRUE(t.exists(t.root()));
  EXPECT_EQ(t.names(t.root()), "");
}

TEST_F(DeviceFsTest, ListsAFileOrADirectoryWithoutHiddenUploads) {
  auto builder = std::make_unique<ListingBuilder>();
  uint8_t reply[kMaxPayload];
  Upload up;
  ASSERT_EQ(fs_upload_begin(t.fs, "/docs/new.bin", up), 0);  // its temporary file is there
  int n = fs_list(t.fs, "/docs", *builder, reply);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), n),
            std::string("D\0\0\0\x02\0\0\0readme.txt\x02sub\x01", 8 + 15));
  fs_upload_abort(up);
  n = fs_list(t.fs, "docs/readme.txt", *builder, reply);
  ASSERT_EQ(n, 32);
  EXPECT_EQ(reply[0], 'F');
  EXPECT_EQ(get_le32(reply + 28), 5);
}

}  // namespace
}  // namespace rq::sim
