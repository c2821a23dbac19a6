#include "device_setup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "device_fs.h"
#include "test_root.h"

namespace rq::sim {
namespace {

SimOptions options_for(const std::string& root, const std::string& boot_dir, bool demo) {
  SimOptions o;
  o.root = root.c_str();
  o.demo = demo;
  snprintf(o.boot_dir, sizeof o.boot_dir, "%s", boot_dir.c_str());
  return o;
}

TEST(DeviceSetup, FillsAnEmptyRootWithALaunchableDemoDevice) {
  testing::TestRoot t;
  std::string root = t.root();
  SimOptions o = options_for(root, t.boot_dir() + "/new", true);
  int fd = prepare_device(o, stderr);
  ASSERT_GE(fd, 0);
  DeviceFs fs;
  fs.root_fd = fd;
  char where[kMaxDevicePath + 1];
  EXPECT_EQ(fs_check_launchable(fs, "/bin/hello.elf", where), 0);
  EXPECT_EQ(t.names(root), "bin docs logs");
  EXPECT_EQ(t.names(root + "/docs"), "readme.txt");
  EXPECT_TRUE(t.exists(t.boot_dir() + "/new"));
  close(fd);
}

TEST(DeviceSetup, KeepsAUsedRootButSweepsLeftOverUploads) {
  testing::TestRoot t;
  t.mkdir("/logs");
  t.write("/logs/today.txt", "x");
  t.write(std::string("/logs/") + kUploadPrefix + "7", "half an upload");
  std::string root = t.root();
  SimOptions o = options_for(root, t.boot_dir(), true);
  int fd = prepare_device(o, stderr);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(t.names(root), "logs");
  EXPECT_EQ(t.names(root + "/logs"), "today.txt");
  close(fd);
}

TEST(DeviceSetup, RefusesBootImagesInsideTheRoot) {
  testing::TestRoot t;
  std::string root = t.root();
  SimOptions o = options_for(root, root + "/boot", false);
  FILE* err = tmpfile();
  EXPECT_EQ(prepare_device(o, err), -1);
  fclose(err);
}

}  // namespace
}  // namespace rq::sim
