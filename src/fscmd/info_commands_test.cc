#include "fscmd/info_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::wire_matches;

TEST(InfoCommands, SendABareCommandMessageWhateverFollowsTheKeyword) {
  struct Case {
    testing::Handler handler;
    const char* line;
    const char* command_frame;
    bool has_reply;
  } cases[] = {
      {cmd_format, "format", "41 67 00 08 02 xx xx xx xx xx xx xx", false},
      {cmd_format, "format now please", "41 67 00 08 02 xx xx xx xx xx xx xx", false},
      {cmd_pwd, "pwd", "41 67 00 08 04 xx xx xx xx xx xx xx", true},
      {cmd_ver, "ver x", "41 67 00 08 0d xx xx xx xx xx xx xx", true},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().status(0, 1);
    if (k.has_reply) p.reply(std::string(1, '\0'));
    p.run(k.handler, k.line);
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 1u) << k.line;
    if (f.size() != 1u) continue;
    EXPECT_TRUE(wire_matches(k.command_frame, f[0])) << hex(f[0]);
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
  FakeProxy p;
  p.ready().status(0);
  EXPECT_EQ(p.run(cmd_format, "format"), "");
}

TEST(InfoCommands, PrintTheTextReplyWithinTheBytesReceived) {
  struct Case {
    const char* what;
    testing::Handler handler;
    std::string reply;
    int32_t announced;
    std::string printed;
  } cases[] = {
      {"pwd", cmd_pwd, std::string("/logs\0", 6), 6, "/logs\n"},
      {"ver", cmd_ver, std::string("Jan 02 2024 10:11:12\0", 21), 21,
       "DX shell built at Jan 02 2024 10:11:12\n"},
      {"empty pwd reply", cmd_pwd, "", 0, "\n"},
      {"empty ver reply", cmd_ver, "", 0, "DX shell built at \n"},
      {"text without its zero is cut at the frame end", cmd_pwd, "/abc", 4, "/abc\n"},
      {"bytes after the zero are not printed", cmd_pwd, std::string("/a\0junk", 7), 7, "/a\n"},
      {"negative announced length", cmd_pwd, std::string("/n\0", 3), -1, "/n\n"},
      {"announced length larger than the frame", cmd_ver, std::string("v1\0", 3), 70000,
       "DX shell built at v1\n"},
      {"full-size reply without a zero", cmd_pwd, std::string(16384, 'p'), 16384,
       std::string(16384, 'p') + "\n"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().status(0, k.announced).reply(k.reply);
    EXPECT_EQ(p.run(k.handler, "x"), k.printed) << k.what;
    EXPECT_EQ(p.unread(), 0u) << k.what;
  }
}

TEST(InfoCommands, LostReplyEndsAsFailed) {
  FakeProxy p;
  p.ready().status(0, 6).hang_up();
  EXPECT_EQ(p.run(cmd_pwd, "pwd"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \npwd command failed errcode = -1\n");
}

}  // namespace
}  // namespace rq
