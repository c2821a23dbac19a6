// The ping exchange over every prefix of its reply, and the start-up probe: a proxy that
// speaks first is left alone, a silent one is pinged without a ready message.
#include "device/ping.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::message;

constexpr char kPingWithCounter0[] = "41 67 00 08 01 xx xx xx 00 00 00 00";

TEST(PingReply, EveryPrefixOfTheReplyReadsItsMissingBytesAsZero) {
  // The reply's value is the counter + 1: 1, which a reply cut after byte 4 still carries.
  const std::string reply = message(0, 1);
  for (size_t n = 0; n <= reply.size(); ++n) {
    SCOPED_TRACE("first " + std::to_string(n) + " bytes");
    FakeProxy p;
    p.ready().reply(reply.substr(0, n));
    static PingResult got;
    p.run(
        [](Shell& c, char*) {
          got = ping_device(c.device, false);
          return 0;
        },
        "");
    bool in_sync = n >= 5;
    EXPECT_EQ(got.result.ok(), in_sync);
    EXPECT_EQ(got.result.step, in_sync ? Step::kNone : Step::kReply);
    EXPECT_EQ(got.received, in_sync ? 1 : 0);
    EXPECT_EQ(got.expected, 1);
    EXPECT_EQ(p.shell().device.ping_counter, 1);
    EXPECT_EQ(p.unread(), 0u);
  }
}

ProbeResult probe(FakeProxy& p) {
  static ProbeResult got;
  p.run(
      [](Shell& c, char*) {
        got = startup_probe(c.device);
        return 0;
      },
      "");
  return got;
}

TEST(StartupProbe, ASilentProxyIsPingedWithoutWaitingForReady) {
  struct Case {
    const char* name;
    std::string reply;  // the proxy's answer to the ping
    bool ok;
    int32_t received;
  } cases[] = {
      {"in sync", message(0, 1), true, 1},
      {"out of sync", message(0, 7), false, 7},
      {"no answer: the ping's own message stays", "", false, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    FakeProxy p;
    // Silent until the ping (one 12-byte frame) has come.
    p.after_sent(12);
    if (!k.reply.empty()) p.reply(k.reply);
    p.hang_up();
    ProbeResult r = probe(p);
    EXPECT_TRUE(r.pinged);
    EXPECT_EQ(r.ok(), k.ok);
    EXPECT_EQ(r.ping.received, k.received);
    EXPECT_EQ(r.ping.expected, 1);
    EXPECT_EQ(testing::frames_mismatch({kPingWithCounter0}, p.sent_frames()), "");
  }
}

TEST(StartupProbe, AProxyThatSpeaksFirstKeepsItsMessageForTheFirstCommand) {
  FakeProxy p;
  p.ready().status(0, 1);
  static ProbeResult probed;
  static PingResult first;
  p.run(
      [](Shell& c, char*) {
        // However slow the machine, the proxy has spoken before the probe looks.
        link_wait_readable(c.device.link, 5000);
        probed = startup_probe(c.device);
        // The first command's ready-gated send takes the proxy's message.
        first = ping_device(c.device, false);
        return 0;
      },
      "");
  EXPECT_FALSE(probed.pinged);
  EXPECT_TRUE(probed.ok());
  EXPECT_TRUE(first.result.ok());
  // The first command's ping alone.
  EXPECT_EQ(testing::frames_mismatch({kPingWithCounter0}, p.sent_frames()), "");
  EXPECT_EQ(p.unread(), 0u);
}

}  // namespace
}  // namespace rq
