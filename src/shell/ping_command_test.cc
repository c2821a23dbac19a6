#include "shell/ping_command.h"

#include <gtest/gtest.h>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::frames_mismatch;
using testing::hex;
using testing::message;

TEST(Ping, WaitsForReadyUnlessTheLineEndsInUpperCaseN) {
  struct Case {
    const char* line;
    bool no_wait;
  } cases[] = {
      {"ping", false},      {"PING", false}, {"ping n", false},   {"ping N", true},
      {"ping \t  N", true}, {"pingN", true}, {"ping x N", false},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    if (!k.no_wait) p.ready();
    p.status(0, 1);
    EXPECT_EQ(p.run(k.line), "") << k.line;
    EXPECT_EQ(frames_mismatch({"41 67 00 08 01 xx xx xx 00 00 00 00"}, p.sent_frames()), "")
        << k.line;
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
}

TEST(Ping, CountsRepliesAndReportsOutOfSync) {
  FakeProxy p;
  p.ready().status(0, 1);
  EXPECT_EQ(p.run("ping"), "");
  p.ready(5);  // refused: the counter stays
  EXPECT_EQ(p.run("ping"), "ERROR: invalid parameter \nPing command failed errcode = 5\n");
  p.ready().status(0, 7);  // out of sync: the counter still moves on
  EXPECT_EQ(p.run("ping"), "Ping command out of sync = get 7 expect 2\n");
  p.ready().status(0, 3);
  EXPECT_EQ(p.run("ping"), "");
  auto f = p.sent_frames();
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(hex(f[0].substr(8)), "00 00 00 00");
  EXPECT_EQ(hex(f[1].substr(8)), "01 00 00 00");
  EXPECT_EQ(hex(f[2].substr(8)), "02 00 00 00");
}

TEST(Ping, ALostReplyAdvancesTheCounterAndReportsTheSentValue) {
  FakeProxy p;
  p.shell().device.ping_counter = 4;
  p.ready().hang_up();
  EXPECT_EQ(p.run("ping"),
            "ERROR: DX proxy program closed the connection\n"
            "Ping command out of sync = get 4 expect 5\n");
  EXPECT_EQ(p.shell().device.ping_counter, 5);
  // Later pings fail fast on the closed connection, in both forms.
  EXPECT_EQ(p.run("ping"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \nPing command failed errcode = -1\n");
  EXPECT_EQ(p.run("ping N"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \nPing command failed errcode = -1\n");
}

}  // namespace
}  // namespace rq
