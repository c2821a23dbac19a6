// The streamed local ends of a transfer: a source that refuses to send a file that changes
// size while it is read, and the sink that compares a read-back image with the local file.
#include "local/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "local/platform.h"
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
    LocalFailure opened = open_stream_source(s, dir / "f");
    EXPECT_TRUE(opened.ok()) << static_cast<int>(opened.failed);
    if (!opened.ok()) continue;
    EXPECT_EQ(s.size, static_cast<int64_t>(c.size));
    // The first chunk goes out before anything changes; the rest must notice.
    DataSource source = stream_source(s);
    uint8_t buf[16384];
    size_t first = c.size < 10 ? c.size : 10;
    EXPECT_EQ(source.read(source.context, buf, first), static_cast<long>(first));
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

TEST(StreamSource, AFileThatSaysItIsEmptyMustBe) {
  testing::TempDir dir;
  testing::write_file(dir / "empty", "");
  StreamSource empty;
  ASSERT_TRUE(open_stream_source(empty, dir / "empty").ok());
  EXPECT_TRUE(stream_source_at_end(empty));
  EXPECT_FALSE(empty.changed);
  // Linux's process files say 0 and yield their text.
  StreamSource proc;
  if (!open_stream_source(proc, "/proc/self/status").ok()) GTEST_SKIP() << "no /proc here";
  EXPECT_EQ(proc.size, 0);
  EXPECT_FALSE(stream_source_at_end(proc));
  EXPECT_TRUE(proc.changed);
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
    cmp.fd = local_open_read(dir / "f");
    EXPECT_GE(cmp.fd, 0);
    if (cmp.fd < 0) continue;
    DataSink sink = compare_sink(cmp);
    // In chunks as a download delivers them.
    for (size_t at = 0; at < c.device.size(); at += 16384) {
      size_t n = c.device.size() - at < 16384 ? c.device.size() - at : 16384;
      EXPECT_EQ(sink.write(sink.context, reinterpret_cast<const uint8_t*>(c.device.data()) + at, n),
                0);
    }
    EXPECT_EQ(cmp.first_difference, c.first_difference);
    EXPECT_EQ(cmp.local_ended, c.local_ended);
    local_close(cmp.fd);
  }
}

}  // namespace
}  // namespace rq
