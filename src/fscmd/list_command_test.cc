#include "fscmd/list_command.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::le32;
using testing::wire_matches;

std::string dir_reply(int32_t count, const std::string& entries, char tag = 'D') {
  return std::string(1, tag) + std::string(3, '\0') + le32(count) + entries;
}

std::string file_reply(int32_t size, int32_t attr) {
  return "F" + std::string(3, '\0') + le32(10) + le32(20) + le32(attr) + le32(0x1a4) + le32(-3) +
         le32(4) + le32(size);
}

TEST(Ls, SendsThePathLikeThePathCommandsThenReadsOneReply) {
  struct Case {
    const char* line;
    const char* command_frame;
    const char* path_frame;
  } cases[] = {
      {"ls /dir", "41 67 00 08 03 xx xx xx 05 00 00 00", "41 67 00 05 2f 64 69 72 00"},
      {"ls", "41 67 00 08 03 xx xx xx 01 00 00 00", "41 67 00 01 00"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    std::string reply = dir_reply(0, "");
    p.ready().ready().status(0, static_cast<int32_t>(reply.size())).reply(reply);
    p.run(cmd_ls, k.line);
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 2u) << k.line;
    if (f.size() != 2u) continue;
    EXPECT_TRUE(wire_matches(k.command_frame, f[0])) << hex(f[0]);
    EXPECT_TRUE(wire_matches(k.path_frame, f[1])) << hex(f[1]);
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
}

TEST(Ls, PrintsFileRecordsAndDirectoryWalks) {
  struct Case {
    const char* what;
    const char* line;
    std::string reply;
    int32_t announced;  // the status value: the reply length the proxy claims
    std::string printed;
  } cases[] = {
      {"file record", "ls a.bin", file_reply(1234, 0x1ff), 32,
       "a.bin 1234Bytes uid=10 gid=20 attr=1ff own=1a4 grp=-3 other=4\n"},
      {"short file record: missing fields are 0", "ls a", file_reply(99, 0xabc).substr(0, 18), 18,
       "a 0Bytes uid=10 gid=20 attr=abc own=0 grp=0 other=0\n"},
      {"file tag alone", "ls a", "F", 1, "a 0Bytes uid=0 gid=0 attr=0 own=0 grp=0 other=0\n"},
      {"directory", "ls d",
       dir_reply(3,
                 "bin\x01"
                 "a.txt\x02"
                 "b\x02"),
       22, "d contains 3 files\n1 Dir bin \n2 File a.txt \n3 File b \n"},
      {"no path: header starts with a blank", "ls", dir_reply(1, "x\x02"), 10,
       " contains 1 files\n1 File x \n"},
      {"lower-case f is a directory", "ls d", dir_reply(1, "x\x01", 'f'), 10,
       "d contains 1 files\n1 Dir x \n"},
      {"empty names", "ls d", dir_reply(2, "\x01\x02"), 10,
       "d contains 2 files\n1 Dir  \n2 File  \n"},
      {"zero inside a name ends what is printed", "ls d",
       dir_reply(2, std::string("ab\0cd\x02", 6) + "e\x01"), 16,
       "d contains 2 files\n1 File ab \n2 Dir e \n"},
      {"count smaller than the entries", "ls d",
       dir_reply(1,
                 "a\x02"
                 "b\x02"),
       12, "d contains 1 files\n1 File a \n"},
      {"count larger than the entries stops at the frame end", "ls d",
       dir_reply(1000000,
                 "a\x02"
                 "tail-without-type"),
       27, "d contains 1000000 files\n1 File a \n"},
      {"count 0", "ls d", dir_reply(0, "a\x02"), 10, "d contains 0 files\n"},
      {"negative count", "ls d", dir_reply(-2, "a\x02"), 10, "d contains -2 files\n"},
      {"header cut short: count is 0", "ls d", std::string("D\0\0\0\5", 5), 5,
       "d contains 0 files\n"},
      {"empty reply reads as an empty directory", "ls d", "", 0, "d contains 0 files\n"},
      {"negative announced length", "ls d", dir_reply(1, "x\x01"), -5,
       "d contains 1 files\n1 Dir x \n"},
      {"announced length larger than the frame", "ls d", dir_reply(1, "x\x01"), 100000,
       "d contains 1 files\n1 Dir x \n"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0, k.announced).reply(k.reply);
    EXPECT_EQ(p.run(cmd_ls, k.line), k.printed) << k.what;
    EXPECT_EQ(p.unread(), 0u) << k.what;
  }
}

// A reply that fills the whole payload area: the last name has no type byte and no zero,
// so the walk must stop exactly at the end of the bytes received.
TEST(Ls, FullSizeReplyIsWalkedWithinItsBytes) {
  std::string entries(16384 - 8, 'n');
  entries[0] = '\x01';
  FakeProxy p;
  p.ready().ready().status(0, 16384).reply(dir_reply(5, entries));
  EXPECT_EQ(p.run(cmd_ls, "ls d"), "d contains 5 files\n1 Dir  \n");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(Ls, LostReplyEndsAsFailed) {
  FakeProxy p;
  p.ready().ready().status(0, 40).hang_up();
  EXPECT_EQ(p.run(cmd_ls, "ls d"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \nls command failed errcode = -1\n");
}

// Whatever frame follows the status is the reply, and exactly that frame is consumed, so
// the next command starts in step with the proxy.
TEST(Ls, StaysInStepAfterAnOversizeReply) {
  FakeProxy p;
  std::string oversize = std::string("\x41\x67\x40\x01", 4) + std::string(16385, 'z');
  p.ready().ready().status(0, 16385).raw(oversize);
  std::string out = p.run(cmd_ls, "ls d");
  EXPECT_NE(out.find("ls command failed errcode = -1\n"), std::string::npos) << out;
  p.ready().ready().status(0).reply(dir_reply(0, ""));
  EXPECT_EQ(p.run(cmd_ls, "ls e"), "e contains 0 files\n");
  EXPECT_EQ(p.unread(), 0u);
}

}  // namespace
}  // namespace rq
