// The download target alone: a whole transfer replaces what was there in one step, anything
// less leaves it as it was, and nothing is ever left beside it.
#include "local/download_target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>

#include "support/files.h"

namespace rq {
namespace {

using testing::read_bytes;
using testing::TempDir;
using testing::write_file;

void write(DownloadTarget& t, const std::string& bytes) {
  DataSink sink = download_target_sink(t);
  EXPECT_EQ(sink.write(sink.context, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
            0);
}

TEST(DownloadTarget, ReplacesTheTargetWholeKeepingItsPermissionsAndLeavesNothingElse) {
  TempDir dir;
  write_file(dir / "target", "old");
  ASSERT_EQ(chmod((dir / "target").c_str(), 0751), 0);
  DownloadTarget t;
  LocalFailure opened = open_download_target(t, dir / "target");
  ASSERT_TRUE(opened.ok()) << static_cast<int>(opened.failed);
  write(t, "new bytes");
  EXPECT_EQ(read_bytes(dir / "target"), "old");  // untouched until the commit
  EXPECT_EQ(dir.entries().size(), 2u);           // the target and the temporary file
  EXPECT_TRUE(commit_download_target(t).ok());
  EXPECT_EQ(read_bytes(dir / "target"), "new bytes");
  struct stat st;
  ASSERT_EQ(stat((dir / "target").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_EQ(dir.entries(), std::set<std::string>{"target"});
}

TEST(DownloadTarget, WhatIsThereDecidesWhatGetsWritten) {
  struct Case {
    const char* name;
    void (*prepare)(const TempDir& dir);  // makes "t" (and what it needs)
    std::set<std::string> after;          // the directory's entries after a commit
    const char* file;                     // the file that holds the new bytes
  } cases[] = {
      {"nothing there", [](const TempDir&) {}, {"t"}, "t"},
      {"a file", [](const TempDir& d) { write_file(d / "t", "old"); }, {"t"}, "t"},
      {"a link: the file it leads to is replaced, the link stays",
       [](const TempDir& d) {
         write_file(d / "real", "old");
         std::filesystem::create_symlink(d / "real", d / "t");
       },
       {"real", "t"},
       "real"},
      {"a link that leads nowhere is replaced by the file",
       [](const TempDir& d) { std::filesystem::create_symlink(d / "gone", d / "t"); },
       {"t"},
       "t"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    TempDir dir;
    k.prepare(dir);
    DownloadTarget t;
    LocalFailure opened = open_download_target(t, dir / "t");
    EXPECT_TRUE(opened.ok()) << static_cast<int>(opened.failed);
    if (!opened.ok()) continue;
    write(t, "new");
    EXPECT_TRUE(commit_download_target(t).ok());
    EXPECT_EQ(dir.entries(), k.after);
    EXPECT_EQ(read_bytes(dir / k.file), "new");
    if (std::string(k.file) == "real") {
      EXPECT_TRUE(std::filesystem::is_symlink(dir / "t"));
    }
  }
}

TEST(DownloadTarget, AnAbandonedDownloadLeavesTheTargetAsItWas) {
  for (bool existed : {true, false}) {
    SCOPED_TRACE(existed ? "target existed" : "no target");
    TempDir dir;
    if (existed) write_file(dir / "target", "old");
    {
      DownloadTarget t;
      EXPECT_TRUE(open_download_target(t, dir / "target").ok());
      write(t, "partial");
    }  // goes out of scope uncommitted, as after a failed transfer
    EXPECT_EQ(read_bytes(dir / "target"), existed ? "old" : "<missing>");
    EXPECT_EQ(dir.entries().size(), existed ? 1u : 0u);
  }
}

// A device holds nothing to lose: it is written in place, and a failed write shows at the
// commit with the platform's error number.
TEST(DownloadTarget, ADeviceIsWrittenInPlace) {
  DownloadTarget null_device;
  ASSERT_TRUE(open_download_target(null_device, "/dev/null").ok());
  EXPECT_TRUE(null_device.temporary.empty());
  write(null_device, "gone");
  EXPECT_TRUE(commit_download_target(null_device).ok());

  DownloadTarget full;
  ASSERT_TRUE(open_download_target(full, "/dev/full").ok());
  DataSink sink = download_target_sink(full);
  EXPECT_EQ(sink.write(sink.context, reinterpret_cast<const uint8_t*>("x"), 1), -1);
  LocalFailure f = commit_download_target(full);
  EXPECT_EQ(f.failed, LocalFailed::kWrite);
  EXPECT_EQ(f.error, ENOSPC);
}

}  // namespace
}  // namespace rq
