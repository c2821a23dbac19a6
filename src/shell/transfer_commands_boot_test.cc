// rb and wb against the scripted proxy: the boot number in the sub-code, rb's status after
// every chunk but the last, wb's ready message before every chunk and its shortened first
// chunk, boot-number checks, and wb's failures at each step (rb's are with get's, in
// transfer_commands_test.cc).
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fake_proxy.h"
#include "shell/transfer_commands.h"
#include "support/files.h"

namespace rq {
namespace {

using testing::data_frame_patterns;
using testing::FakeProxy;
using testing::frames_mismatch;
using testing::patterned;
using testing::read_bytes;
using testing::TempDir;
using testing::write_file;

TEST(Rb, ReadsAStatusAfterEveryChunkButTheLast) {
  for (const char* form : {"rb 2 ", "rb2 ", "rb \"2\" ", "RB\t2 "}) {
    SCOPED_TRACE(form);
    TempDir dir;
    std::string data = patterned(40000);
    FakeProxy p;
    p.ready().status(0, 40000);
    p.reply(data.substr(0, 16384)).status(0, 7);
    p.reply(data.substr(16384, 16384)).status(0);
    p.reply(data.substr(32768)).hang_up();
    EXPECT_EQ(p.run(form + (dir / "boot.bin")), "");
    EXPECT_EQ(read_bytes(dir / "boot.bin"), data);
    EXPECT_EQ(dir.entries(), std::set<std::string>{"boot.bin"});
    EXPECT_EQ(frames_mismatch({"41 67 00 08 30 02 xx xx xx xx xx xx"}, p.sent_frames()), "");
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(BootImage, InvalidBootNumbersAreRefusedBeforeAnythingElse) {
  struct Line {
    const char* command;
    const char* out;
  } lines[] = {
      {"rb 0 ", "Invalid boot 0 (DX only has 1, 2, 3) \n"},
      {"rb 5 ", "Invalid boot 5 (DX only has 1, 2, 3) \n"},
      {"rb two ", "Invalid boot 0 (DX only has 1, 2, 3) \n"},
      {"rb -1 ", "Invalid boot -1 (DX only has 1, 2, 3) \n"},
      {"wb 4 ", "Invalid boot 4 (DX only has 1, 2, 3) \n"},
      {"wb 0 ", "Invalid boot 0 (DX only has 1, 2, 3) \n"},
  };
  for (const Line& k : lines) {
    TempDir dir;
    FakeProxy p;
    p.ready().status(0, 0);
    // For wb the file is missing too: the boot number is checked first.
    EXPECT_EQ(p.run(k.command + (dir / "x.bin")), k.out) << k.command;
    EXPECT_EQ(p.sent(), "") << k.command;
    EXPECT_TRUE(dir.entries().empty()) << k.command;
  }
  for (const char* line : {"rb 2", "wb 2"}) {
    FakeProxy p;
    EXPECT_EQ(p.run(line), "INVALID cmd parameters\n") << line;
    EXPECT_EQ(p.sent(), "");
  }
}

// What a failed read leaves is in transfer_commands_test.cc, with get's (the same download).
TEST(Rb, ATargetThatCannotBeOpenedStopsBeforeTheProxyIsContacted) {
  FakeProxy p;
  EXPECT_EQ(p.run("rb 1 /no/such/dir/x"), "Cannot open PC file /no/such/dir/x\n");
  EXPECT_EQ(p.sent(), "");
}

TEST(Wb, SendsEachChunkAfterItsOwnReadyMessage) {
  struct Case {
    const char* form;
    size_t size;
    int32_t reduction;  // < 0: boot 1, no reduction status is read
    std::vector<size_t> chunks;
    const char* command;
  } cases[] = {
      {"wb 1 ", 40000, -1, {16384, 16384, 7232}, "41 67 00 08 31 01 xx xx 40 9c 00 00"},
      {"wb 3 ", 40000, 512, {15872, 16384, 7744}, "41 67 00 08 31 03 xx xx 40 9c 00 00"},
      {"wb2 ", 0, 0, {}, "41 67 00 08 31 02 xx xx 00 00 00 00"},
      {"wb \"2\" ", 100, 16383, {1, 99}, "41 67 00 08 31 02 xx xx 64 00 00 00"},
      {"wb 2 ", 16000, 384, {16000}, "41 67 00 08 31 02 xx xx 80 3e 00 00"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.form);
    TempDir dir;
    std::string data = patterned(k.size);
    write_file(dir / "img.bin", data);
    FakeProxy p;
    p.ready();
    if (k.reduction >= 0) p.status(0, k.reduction);
    for (size_t i = 0; i < k.chunks.size(); ++i) p.ready();
    p.hang_up();
    EXPECT_EQ(p.run(k.form + (dir / "img.bin")), "");
    std::vector<std::string> sent = data_frame_patterns(data, k.chunks);
    sent.insert(sent.begin(), k.command);
    EXPECT_EQ(frames_mismatch(sent, p.sent_frames()), "");
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Wb, FailuresEndTheWriteWithTheirOwnLine) {
  struct Case {
    const char* name;
    void (*script)(FakeProxy& p);
    size_t frames_sent;
    const char* out;
  } cases[] = {
      {"command refused", [](FakeProxy& p) { p.ready(5); }, 0,
       "ERROR: invalid parameter \nwb command failed rcv cmd errcode = 5\n"},
      {"bad reduction status", [](FakeProxy& p) { p.ready().status(6, 512); }, 1,
       "ERROR: file system not ready yet \nwb command failed errcode = 6\n"},
      {"no reduction status", [](FakeProxy& p) { p.ready(); }, 1,
       "ERROR: DX proxy program closed the connection\n"
       "ERROR: invalid error code \nwb command failed errcode = -1\n"},
      // A reduction that leaves no first chunk a frame could carry sends no data.
      {"reduction 16384", [](FakeProxy& p) { p.ready().status(0, 16384); }, 1,
       "ERROR: invalid parameter \nwb command failed errcode = 5\n"},
      {"reduction 70000", [](FakeProxy& p) { p.ready().status(0, 70000); }, 1,
       "ERROR: invalid parameter \nwb command failed errcode = 5\n"},
      {"negative reduction", [](FakeProxy& p) { p.ready().status(0, -1); }, 1,
       "ERROR: invalid parameter \nwb command failed errcode = 5\n"},
      {"second chunk refused", [](FakeProxy& p) { p.ready().status(0, 0).ready().ready(3); }, 2,
       "ERROR: access failed \nwb command failed errcode(write data) = 3\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TempDir dir;
    write_file(dir / "img.bin", patterned(40000));
    FakeProxy p;
    k.script(p);
    p.hang_up();
    EXPECT_EQ(p.run("wb 2 " + (dir / "img.bin")), k.out);
    EXPECT_EQ(p.sent_frames().size(), k.frames_sent);
    EXPECT_EQ(p.unread(), 0u);
  }
  FakeProxy p;
  EXPECT_EQ(p.run("wb 1 /no/such/img"), "Cannot open PC file /no/such/img\n");
  EXPECT_EQ(p.sent(), "");
}

}  // namespace
}  // namespace rq
