#include "device_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "device_fs.h"
#include "device_status.h"
#include "test_root.h"

namespace rq::sim {
namespace {

std::string resolved(const char* cwd, const std::string& path) {
  char out[kMaxDevicePath + 1];
  int rc = resolve_device_path(cwd, path.data(), path.size(), out);
  return rc < 0 ? "error " + std::to_string(-rc) : std::string(out);
}

TEST(ResolveDevicePath, CanonicalisesByTextAlone) {
  struct Case {
    const char* cwd;
    std::string path;
    std::string want;
  } cases[] = {
      {"/", "docs", "/docs"},
      {"/docs", "readme.txt", "/docs/readme.txt"},
      {"/docs", "/bin", "/bin"},
      {"/docs", "..", "/"},
      {"/docs", "../bin//hello.elf", "/bin/hello.elf"},
      {"/", "//a/./b/../c/", "/a/c"},
      {"/docs", "", "/docs"},
      {"/", "...", "/..."},
      {"/", "a b", "/a b"},
      {"/", std::string(300, 'x') + "/..", "/"},  // long on the way, short at the end
      {"/", "/" + std::string(254, 'x'), "/" + std::string(254, 'x')},
  };
  for (const Case& c : cases) EXPECT_EQ(resolved(c.cwd, c.path), c.want) << c.cwd << " " << c.path;
}

TEST(ResolveDevicePath, RefusesWhatNoDevicePathMayHold) {
  struct Case {
    const char* cwd;
    std::string path;
    int status;
  } cases[] = {
      {"/", "..", kStatusInvalidPath},
      {"/a", "../..", kStatusInvalidPath},
      {"/", "/../../etc", kStatusInvalidPath},
      {"/", "a/../../b", kStatusInvalidPath},
      {"/", "a\\b", kStatusInvalidPath},
      {"/", "..\\..\\etc", kStatusInvalidPath},
      {"/", std::string("a\0b", 3), kStatusInvalidPath},
      {"/", "name\x01", kStatusInvalidPath},
      {"/", "\x02name", kStatusInvalidPath},
      {"/", "/" + std::string(255, 'x'), kStatusPathTooLong},
      {"/", std::string(16384, 'y'), kStatusPathTooLong},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolved(c.cwd, c.path), "error " + std::to_string(c.status)) << c.path.substr(0, 40);
}

// Every command's way into the file system, tried against paths that point out of the root:
// none may reach or change the directory beside it.
class EscapeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.mkdir("/docs");
    t.write("/docs/readme.txt", "hello");
    t.write("/bin.elf",
            "\x7f"
            "ELF");
    secret = t.outside() + "/secret";
    FILE* f = fopen(secret.c_str(), "wb");
    fputs(
        "\x7f"
        "ELF secret",
        f);
    fclose(f);
    ASSERT_EQ(symlink(t.outside().c_str(), t.host("/out").c_str()), 0);
    ASSERT_EQ(symlink(secret.c_str(), t.host("/link.elf").c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(t.names(t.outside()), "secret");
    EXPECT_EQ(t.read(secret),
              "\x7f"
              "ELF secret");
  }

  testing::TestRoot t;
  std::string secret;
};

TEST_F(EscapeTest, NoPathLeavesTheRoot) {
  DeviceFs& fs = t.fs;
  uint8_t buf[64];
  char where[kMaxDevicePath + 1];
  ListingBuilder* listing = new ListingBuilder;
  uint8_t reply[kMaxPayload];
  int64_t size = 0;
  Upload up;
  struct Case {
    const char* what;
    int rc;
    int want;
  } cases[] = {
      {"cd .. at the root", fs_change_dir(fs, ".."), -kStatusInvalidPath},
      {"cd through a link", fs_change_dir(fs, "out"), -kStatusAccess},
      {"mkdir ../x", fs_make_dir(fs, "../x"), -kStatusInvalidPath},
      {"mkdir inside a link", fs_make_dir(fs, "out/x"), -kStatusAccess},
      {"mkdir a\\b", fs_make_dir(fs, "a\\b"), -kStatusInvalidPath},
      {"mkdir with 0x01", fs_make_dir(fs, "a\x01"), -kStatusInvalidPath},
      {"mkdir with 0x02", fs_make_dir(fs, "\x02"), -kStatusInvalidPath},
      {"ls /../../etc", fs_list(fs, "/../../etc", *listing, reply), -kStatusInvalidPath},
      {"ls a link", fs_list(fs, "/out", *listing, reply), -kStatusAccess},
      {"ls through a link", fs_list(fs, "out/secret", *listing, reply), -kStatusAccess},
      {"get through a link", fs_open_read(fs, "/out/secret", &size), -kStatusAccess},
      {"get a file link", fs_open_read(fs, "link.elf", &size), -kStatusAccess},
      {"get /etc/passwd", fs_open_read(fs, "/etc/passwd", &size), -kStatusMissing},
      {"put through a link", fs_upload_begin(fs, "out/new", up), -kStatusAccess},
      {"put over a file link", fs_upload_begin(fs, "link.elf", up), -kStatusAccess},
      {"rm through a link", fs_remove(fs, "out/secret"), -kStatusAccess},
      {"rm a link", fs_remove(fs, "out"), -kStatusAccess},
      {"mv out of a link", fs_rename(fs, "out/secret", "stolen"), -kStatusAccess},
      {"mv into a link", fs_rename(fs, "docs/readme.txt", "out/readme.txt"), -kStatusAccess},
      {"cp out of a link", fs_copy(fs, "link.elf", "copy", buf, sizeof buf), -kStatusAccess},
      {"cp into a link", fs_copy(fs, "docs/readme.txt", "out/c", buf, sizeof buf), -kStatusAccess},
      {"launch a link", fs_check_launchable(fs, "link.elf", where), -kStatusAccess},
      {"launch through a link", fs_check_launchable(fs, "out/secret", where), -kStatusAccess},
      {"256-byte path", fs_make_dir(fs, std::string(256, 'z').c_str()), -kStatusPathTooLong},
  };
  for (const Case& c : cases) EXPECT_EQ(c.rc, c.want) << c.what;
  fs_upload_abort(up);
  delete listing;
  EXPECT_STREQ(fs.cwd, "/");
  EXPECT_EQ(t.names(t.root()), "bin.elf docs link.elf out");
}

TEST_F(EscapeTest, FormatRemovesLinksButNotWhatTheyPointAt) {
  EXPECT_EQ(fs_format(t.fs), 0);
  EXPECT_EQ(t.names(t.root()), "");
}

}  // namespace
}  // namespace rq::sim
