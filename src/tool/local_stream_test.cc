// The local ends of rqtool's transfers: a source that refuses to send a file that changes
// size while it is read, and the sink that compares a read-back image with the local file.
#include "tool/local_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "support/files.h"

namespace rq {
namespace {

TEST(StreamSource, AFileThatChangesSizeWhileSentStopsTheSource) {
  struct Case {
    const char* name;
    size_t size;
    std::string (*change)(const std::string& bytes);  // nullptr: unchanged
    bool stops;
  };
  const Case cases[] = {
      {"unchanged", 40000, nullptr, false},
      {"grown", 40000, [](const std::string& b) { return b + "more"; }, true},
      {"shrunk", 40000, [](const std::string& b) { return b.substr(0, 20000); }, true},
      {"grown by a byte, one chunk", 100, [](const std::string& b) { return b + "x"; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string bytes = testing::patterned(c.size);
    testing::write_file(dir / "f", bytes);
    StreamSource s;
    std::string why;
    ASSERT_EQ(open_stream_source(s, dir / "f", &why), 0) << why;
    EXPECT_EQ(s.size, static_cast<int64_t>(c.size));
    // The first chunk goes out before anything changes; the rest must notice.
    DataSource source = stream_source(s);
    uint8_t buf[16384];
    size_t first = c.size < 10 ? c.size : 10;
    ASSERT_EQ(source.read(source.context, buf, first), static_cast<long>(first));
    if (c.change) testing::write_file(dir / "f", c.change(bytes));
    long last = 0;
    for (size_t done = first; done < c.size && last >= 0;) {
      size_t piece = c.size - done < sizeof buf ? c.size - done : sizeof buf;
      last = source.read(source.context, buf, piece);
      if (last > 0) done += static_cast<size_t>(last);
    }
    EXPECT_EQ(s.changed, c.stops);
    EXPECT_EQ(last < 0, c.stops);
  }
}

TEST(StreamSource, ADirectoryOrAMissingFileIsNotOpened) {
  testing::TempDir dir;
  StreamSource a, b;
  std::string why;
  EXPECT_EQ(open_stream_source(a, dir.path(), &why), -1);
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
  EXPECT_EQ(open_stream_source(b, dir / "missing", &why), -1);
  EXPECT_NE(why.find("cannot open"), std::string::npos) << why;
}

TEST(CompareSink, FindsTheFirstDifferenceOrTheShorterSide) {
  struct Case {
    const char* name;
    std::string local, device;
    int64_t first_difference;
    bool local_ended;
  };
  const std::string base = testing::patterned(40000);
  std::string changed = base;
  changed[20001] ^= 1;
  const Case cases[] = {
      {"equal", base, base, -1, false},
      {"one byte differs", base, changed, 20001, false},
      {"device sends more", base, base + "x", -1, true},
      {"device sends less", base, base.substr(0, 30000), -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    testing::write_file(dir / "f", c.local);
    CompareSink cmp;
    cmp.file = fopen((dir / "f").c_str(), "rb");
    ASSERT_NE(cmp.file, nullptr);
    DataSink sink = compare_sink(cmp);
    // In chunks as a download delivers them.
    for (size_t at = 0; at < c.device.size(); at += 16384) {
      size_t n = c.device.size() - at < 16384 ? c.device.size() - at : 16384;
      EXPECT_EQ(sink.write(sink.context, reinterpret_cast<const uint8_t*>(c.device.data()) + at, n),
                0);
    }
    EXPECT_EQ(cmp.first_difference, c.first_difference);
    EXPECT_EQ(cmp.local_ended, c.local_ended);
    fclose(cmp.file);
  }
}

}  // namespace
}  // namespace rq

namespace rq {
namespace {

TEST(DownloadFile, ReplacesTheTargetWholeKeepingItsPermissionsAndLeavesNothingElse) {
  testing::TempDir dir;
  testing::write_file(dir / "target", "old");
  ASSERT_EQ(chmod((dir / "target").c_str(), 0751), 0);
  DownloadFile f;
  std::string why;
  ASSERT_EQ(open_download(f, dir / "target", &why), 0) << why;
  DataSink sink = download_sink(f);
  EXPECT_EQ(sink.write(sink.context, reinterpret_cast<const uint8_t*>("new bytes"), 9), 0);
  EXPECT_EQ(testing::read_file(dir / "target"), "old");  // untouched until the commit
  ASSERT_EQ(commit_download(f, &why), 0) << why;
  EXPECT_EQ(testing::read_file(dir / "target"), "new bytes");
  struct stat st;
  ASSERT_EQ(stat((dir / "target").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_EQ(dir.entries(), std::set<std::string>{"target"});
}

TEST(DownloadFile, AnAbandonedDownloadLeavesTheTargetAsItWas) {
  testing::TempDir dir;
  testing::write_file(dir / "target", "old");
  {
    DownloadFile f;
    std::string why;
    ASSERT_EQ(open_download(f, dir / "target", &why), 0) << why;
    DataSink sink = download_sink(f);
    sink.write(sink.context, reinterpret_cast<const uint8_t*>("partial"), 7);
  }  // goes out of scope uncommitted, as after a failed transfer
  EXPECT_EQ(testing::read_file(dir / "target"), "old");
  EXPECT_EQ(dir.entries(), std::set<std::string>{"target"});
}

}  // namespace
}  // namespace rq
