#include "fscmd/path_commands.h"

#include <gtest/gtest.h>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::wire_matches;

// What each path command puts on the wire: the command message (code, value = path length
// with its zero) after the first ready, the path with its zero after the second.
TEST(PathCommands, SendCommandMessageThenPathWithItsZero) {
  struct Case {
    testing::Handler handler;
    const char* line;
    const char* command_frame;
    const char* path_frame;
  } cases[] = {
      {cmd_mkdir, "mkdir logs", "41 67 00 08 06 xx xx xx 05 00 00 00",
       "41 67 00 05 6c 6f 67 73 00"},
      {cmd_launch, "launch  game.elf", "41 67 00 08 0b xx xx xx 09 00 00 00",
       "41 67 00 09 67 61 6d 65 2e 65 6c 66 00"},
      {cmd_cd, "cd", "41 67 00 08 05 xx xx xx 01 00 00 00", "41 67 00 01 00"},
      // Inner and trailing blanks stay in the path; leading ones and the line end do not.
      {cmd_cd, "cd  my dir \n", "41 67 00 08 05 xx xx xx 08 00 00 00",
       "41 67 00 08 6d 79 20 64 69 72 20 00"},
      {cmd_rm, "rm\tx\r\n", "41 67 00 08 07 xx xx xx 02 00 00 00", "41 67 00 02 78 00"},
      // The keyword is skipped by its own length, so "rmdir x" removes "dir x".
      {cmd_rm, "rmdir x", "41 67 00 08 07 xx xx xx 06 00 00 00", "41 67 00 06 64 69 72 20 78 00"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0);
    EXPECT_EQ(p.run(k.handler, k.line), "") << k.line;
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 2u) << k.line;
    if (f.size() != 2u) continue;
    EXPECT_TRUE(wire_matches(k.command_frame, f[0])) << k.line << ": " << hex(f[0]);
    EXPECT_TRUE(wire_matches(k.path_frame, f[1])) << k.line << ": " << hex(f[1]);
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
}

TEST(PathCommands, ReassembleMessagesArrivingOneByteAtATime) {
  FakeProxy p;
  p.split(true).ready().ready().status(9);
  EXPECT_EQ(p.run(cmd_rm, "rm gone"),
            "ERROR: file does not exist \nrm command failed errcode = 9\n");
  EXPECT_EQ(p.sent_frames().size(), 2u);
  EXPECT_EQ(p.unread(), 0u);
}

}  // namespace
}  // namespace rq
