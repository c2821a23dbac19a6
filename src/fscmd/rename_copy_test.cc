#include "fscmd/rename_copy.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::wire_matches;

TEST(RenameCopy, SendBothNamesWithTheirZerosAsOnePayload) {
  struct Case {
    testing::Handler handler;
    const char* line;
    const char* command_frame;
    std::string payload;
  } cases[] = {
      {cmd_mv, "mv a.txt b.txt", "41 67 00 08 08 xx xx xx 0c 00 00 00",
       std::string("a.txt\0b.txt\0", 12)},
      {cmd_cp, "cp \"my file\" new name", "41 67 00 08 0c xx xx xx 11 00 00 00",
       std::string("my file\0new name\0", 17)},
      {cmd_cp, "cp \"\" x", "41 67 00 08 0c xx xx xx 03 00 00 00", std::string("\0x\0", 3)},
      {cmd_mv, "mv\ta\t\tb  \n", "41 67 00 08 08 xx xx xx 06 00 00 00", std::string("a\0b  \0", 6)},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0);
    EXPECT_EQ(p.run(k.handler, k.line), "") << k.line;
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 2u) << k.line;
    if (f.size() != 2u) continue;
    EXPECT_TRUE(wire_matches(k.command_frame, f[0])) << k.line << ": " << hex(f[0]);
    EXPECT_EQ(hex(f[1]), hex(testing::frame(k.payload))) << k.line;
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
}

TEST(RenameCopy, BadArgumentsSendNothing) {
  for (const char* line : {"mv onlyone", "mv a   ", "cp \"a b", "mv", "cp \"a\""}) {
    FakeProxy p;
    EXPECT_EQ(p.run(line[0] == 'm' ? cmd_mv : cmd_cp, line), "INVALID cmd parameters\n") << line;
    EXPECT_EQ(p.sent(), "") << line;
  }
}

}  // namespace
}  // namespace rq
