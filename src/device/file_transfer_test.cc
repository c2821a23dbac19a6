// The device operations against the scripted proxy, where the console does not show what
// a second front end needs: the step each failure comes from, a source that runs short,
// and a sink that fails.
#include "device/file_transfer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/info.h"
#include "device/listing.h"
#include "fake_proxy.h"
#include "link/status.h"
#include "support/files.h"

namespace rq {
namespace {

using testing::FakeProxy;

// Hands out the bytes of data, or only `limit` of them, then nothing.
struct ShortSource {
  std::string data;
  size_t offset = 0;
  size_t limit = std::string::npos;
};

long read_short(void* context, uint8_t* buffer, size_t length) {
  auto& s = *static_cast<ShortSource*>(context);
  size_t end = std::min(s.data.size(), s.limit);
  size_t n = std::min(length, end - std::min(end, s.offset));
  std::memcpy(buffer, s.data.data() + s.offset, n);
  s.offset += n;
  return static_cast<long>(n);
}

Result put_40000(Device& d) {
  ShortSource s{testing::patterned(40000)};
  DataSource source{&s, read_short};
  return put_file(d, "a.bin", 40000, source, nullptr).result;
}

int discard(void*, const uint8_t*, size_t) { return 0; }

Result get_a(Device& d) {
  DataSink sink{nullptr, discard};
  return get_file(d, "a.bin", sink, nullptr).result;
}

Result rb_2(Device& d) {
  DataSink sink{nullptr, discard};
  return read_boot_image(d, 2, sink, nullptr).result;
}

Result wb_2(Device& d) {
  ShortSource s{testing::patterned(100)};
  DataSource source{&s, read_short};
  return write_boot_image(d, 2, 100, source, nullptr).result;
}

Result pwd(Device& d) {
  TextReply reply;
  return read_text(d, kCmdPwd, &reply);
}

Result ver(Device& d) {
  TextReply reply;
  return read_text(d, kCmdVer, &reply);
}

Result ls_root(Device& d) {
  ListingReply reply;
  return list_path(d, "/", 2, &reply);
}

TEST(DeviceResult, NamesTheStepAndTheCodeOfEveryFailure) {
  struct Row {
    const char* name;
    Result (*operation)(Device& d);
    void (*script)(FakeProxy& p);
    Step step;
    int code;
  } rows[] = {
      {"put refused", put_40000, [](FakeProxy& p) { p.ready(3); }, Step::kCommand, 3},
      {"put payload refused", put_40000, [](FakeProxy& p) { p.ready().ready(4); }, Step::kPayload,
       4},
      {"put grant refused", put_40000, [](FakeProxy& p) { p.ready().ready().status(5); },
       Step::kData, 5},
      {"put final status", put_40000,
       [](FakeProxy& p) { p.ready().ready().status(0).status(0).status(7); }, Step::kData, 7},
      {"get status", get_a, [](FakeProxy& p) { p.ready().ready().status(9); }, Step::kStatus, 9},
      {"get data lost", get_a, [](FakeProxy& p) { p.ready().ready().status(0, 10).hang_up(); },
       Step::kData, kCodeLinkLost},
      {"rb between chunks", rb_2,
       [](FakeProxy& p) { p.ready().status(0, 40000).reply(std::string(16384, 'x')).status(4); },
       Step::kNextStatus, 4},
      {"wb reduction unusable", wb_2, [](FakeProxy& p) { p.ready().status(0, 16384); },
       Step::kReduction, kStatusInvalidParameter},
      {"wb chunk refused", wb_2, [](FakeProxy& p) { p.ready().status(0, 0).ready(3); }, Step::kData,
       3},
      {"pwd reply lost", pwd, [](FakeProxy& p) { p.ready().status(0, 2).hang_up(); }, Step::kReply,
       kCodeLinkLost},
      {"ver refused", ver, [](FakeProxy& p) { p.ready(3); }, Step::kCommand, 3},
      {"ver status", ver, [](FakeProxy& p) { p.ready().status(9, 4); }, Step::kStatus, 9},
      {"ver status lost", ver, [](FakeProxy& p) { p.ready().hang_up(); }, Step::kStatus,
       kCodeLinkLost},
      {"format done", format_device, [](FakeProxy& p) { p.ready().status(0); }, Step::kNone, 0},
      {"format refused", format_device, [](FakeProxy& p) { p.ready(3); }, Step::kCommand, 3},
      {"format status", format_device, [](FakeProxy& p) { p.ready().status(-8); }, Step::kStatus,
       -8},
      {"ls path refused", ls_root, [](FakeProxy& p) { p.ready().ready(6); }, Step::kPayload, 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeProxy p;
    row.script(p);
    static Result (*operation)(Device&);
    static Result got;
    operation = row.operation;
    p.run([](Shell& c, char*) { return (got = operation(c.device)).code; }, "");
    EXPECT_EQ(got.step, row.step);
    EXPECT_EQ(got.code, row.code);
  }
}

TEST(Put, ASourceThatRunsShortStopsBeforeSendingAnythingPartial) {
  FakeProxy p;
  p.ready().ready().status(0);
  static TransferResult got;
  p.run(
      [](Shell& c, char*) {
        ShortSource s{testing::patterned(40000), 0, 20000};
        DataSource source{&s, read_short};
        got = put_file(c.device, "a.bin", 40000, source, nullptr);
        return 0;
      },
      "");
  EXPECT_EQ(got.result.step, Step::kSource);
  EXPECT_EQ(got.moved, 16384);
  auto f = p.sent_frames();
  ASSERT_EQ(f.size(), 3u);  // command, payload, chunk 0
  EXPECT_EQ(f[2], testing::frame(testing::patterned(16384)));
}

TEST(Get, ASinkThatFailsIsToldOnceAndTheDownloadIsReadToItsEnd) {
  FakeProxy p;
  p.ready().ready().status(0, 40000);
  p.reply(std::string(16384, 'a')).reply(std::string(16384, 'b')).reply(std::string(7232, 'c'));
  static TransferResult got;
  static int writes;
  writes = 0;
  p.run(
      [](Shell& c, char*) {
        DataSink sink{nullptr, [](void*, const uint8_t*, size_t) { return ++writes, -1; }};
        got = get_file(c.device, "a.bin", sink, nullptr);
        return 0;
      },
      "");
  EXPECT_TRUE(got.result.ok());
  EXPECT_TRUE(got.sink_failed);
  EXPECT_EQ(got.size, 40000);
  EXPECT_EQ(got.moved, 40000);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(p.unread(), 0u);
}

}  // namespace
}  // namespace rq
