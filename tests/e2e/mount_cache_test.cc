// What the mount's caches show: a change made behind the mount's back appears after SIGHUP
// (and not before, within the cache time-out), and a directory whose listing fills a frame
// is shown as far as it goes, reported once, with the names beyond the cut still reachable.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "e2e/mount_fixture.h"
#include "support/process.h"

namespace rq::e2e {
namespace {

namespace fs = std::filesystem;

class MountCache : public MountTest {};

TEST_F(MountCache, SighupDropsWhatTheCacheTimeoutWouldKeep) {
  write_file(root() + "/f.txt", "short");
  start_sim();
  ASSERT_TRUE(mount({"-o", "cache_timeout=60"}));
  EXPECT_EQ(read_file(mnt() + "/f.txt"), "short");
  sh("ls '" + mnt() + "'");  // the root's listing is cached too
  write_file(root() + "/f.txt", "longer, changed elsewhere");
  write_file(root() + "/new.txt", "new");
  testing::sleep_ms(1100);  // past the kernel's own 1 s
  struct stat st;
  ASSERT_EQ(stat((mnt() + "/f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5) << "the mount's cache answers within its time-out";
  EXPECT_FALSE(fs::exists(mnt() + "/new.txt"));

  kill(mount_pid_, SIGHUP);
  EXPECT_TRUE([&] {
    for (int i = 0; i < 100; ++i, testing::sleep_ms(50))
      if (log().find("SIGHUP") != std::string::npos) return true;
    return false;
  }());
  testing::sleep_ms(1100);
  EXPECT_EQ(read_file(mnt() + "/f.txt"), "longer, changed elsewhere");
  EXPECT_EQ(read_file(mnt() + "/new.txt"), "new");
  EXPECT_TRUE(mounted()) << "SIGHUP must not end the mount";
}

TEST_F(MountCache, AListingCutAtOneFrameIsShownAsFarAsItGoes) {
  fs::create_directories(root() + "/many");
  const int files = 1500;
  for (int i = 1; i <= files; ++i) {
    char name[32];
    snprintf(name, sizeof name, "/many/file-%04d.txt", i);
    write_file(root() + name, "");
  }
  write_file(root() + "/many/file-1500.txt", "the last one");
  start_sim();
  ASSERT_TRUE(mount());
  size_t shown = 0;
  for (auto it = fs::directory_iterator(mnt() + "/many"); it != fs::directory_iterator(); ++it)
    ++shown;
  EXPECT_GT(shown, 1000u);
  EXPECT_LT(shown, static_cast<size_t>(files));
  EXPECT_NE(log().find("the listing of /many filled its frame"), std::string::npos) << log();
  EXPECT_EQ(read_file(mnt() + "/many/file-1500.txt"), "the last one");
  EXPECT_FALSE(fs::exists(mnt() + "/many/file-9999.txt"));
  // Reported once per directory, however often it is listed.
  sh("ls '" + mnt() + "/many' >/dev/null; kill -HUP " + std::to_string(mount_pid_) +
     "; sleep 0.2; ls '" + mnt() + "/many' >/dev/null");
  std::string text = log();
  EXPECT_EQ(text.find("filled its frame"), text.rfind("filled its frame"));
}

}  // namespace
}  // namespace rq::e2e
