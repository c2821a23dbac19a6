// Connecting with settings: the checks on the option values, and connect_device against a
// proxy on a loopback port — the probe's ping on the wire, the failure texts, and the
// owner's report hook, which hears nothing of the tries and is back afterwards.
#include "device/connect.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/peer.h"
#include "support/scripted_proxy.h"
#include "support/wire.h"

namespace rq {
namespace {

using testing::frame;
using testing::message;
using testing::ScriptedProxy;

TEST(ConnectSettings, PortsAreWholeNumbersFrom1To65535) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {
      {"1", true},           {"65535", true}, {"20025", true},  {"0x50", true}, {"+80", true},
      {" 80", true},         {"0", false},    {"65536", false}, {"-5", false},  {"", false},
      {"80 ", false},        {"080", false},  {"80.0", false},  {"1e2", false}, {"abc", false},
      {"4294967376", false},  // 2^32 + 80: no wrapping round to 80
  };
  for (const Case& k : cases) {
    std::string problem = port_problem(k.text);
    EXPECT_EQ(problem.empty(), k.accepted) << "[" << k.text << "] " << problem;
  }
  EXPECT_EQ(port_problem("0"), "Value 0 not in range 1 to 65535");
}

TEST(ConnectSettings, SecondsAreFrom0ToAMillionWithFractions) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {
      {"0", true},   {"0.25", true}, {"30", true},       {"1000000", true},
      {"1e3", true}, {"-1", false},  {"1000001", false}, {"soon", false},
      {"", false},   {"nan", false}, {"inf", false},     {"5s", false},
  };
  for (const Case& k : cases) {
    std::string problem = seconds_problem(k.text);
    EXPECT_EQ(problem.empty(), k.accepted) << "[" << k.text << "] " << problem;
  }
  EXPECT_EQ(seconds_problem("soon"), "wants a number of seconds from 0 to 1000000, not soon");
}

TEST(ConnectSettings, TimeOutsRoundUpAndZeroWaitsForEver) {
  EXPECT_EQ(timeout_ms_for(0), kLinkWaitForever);
  EXPECT_EQ(timeout_ms_for(0.0001), 1);
  EXPECT_EQ(timeout_ms_for(2.5), 2500);
  EXPECT_EQ(timeout_ms_for(1e9), 2147483647);
  auto d = std::make_unique<Device>();
  ConnectSettings s;
  s.timeout_s = 30;
  set_exchange_timeout(*d, s, 300);  // not given: a long command may take longer
  EXPECT_EQ(d->link.timeout_ms, 300000);
  s.timeout_given = true;
  set_exchange_timeout(*d, s, 300);
  EXPECT_EQ(d->link.timeout_ms, 30000);
}

struct Connected {
  int rc;
  ConnectFailure failure;
  int owner_heard = 0;  // events the owner's report hook received
  bool hook_back = false;
};

Connected connect_to(int port, double timeout_s) {
  auto d = std::make_unique<Device>();
  Connected c{};
  d->link.report = [](void* context, const LinkEvent&) {
    ++static_cast<Connected*>(context)->owner_heard;
  };
  d->link.report_context = &c;
  ConnectSettings s;
  s.port = port;
  s.timeout_s = timeout_s;
  c.rc = connect_device(*d, s, &c.failure);
  c.hook_back = d->link.report_context == &c && d->link.report != nullptr;
  link_close(d->link);
  return c;
}

TEST(ConnectDevice, ASilentProxyIsPingedAndAnswersInSync) {
  ScriptedProxy proxy(frame(message(0, 1)), false, 12);
  ASSERT_TRUE(proxy.listening());
  Connected c = connect_to(proxy.port(), 5);
  EXPECT_EQ(c.rc, 0) << c.failure.text;
  EXPECT_TRUE(c.hook_back);
  EXPECT_TRUE(testing::wire_matches("41 67 00 08 01 xx xx xx 00 00 00 00", proxy.received()))
      << testing::hex(proxy.received());
}

TEST(ConnectDevice, AFailedProbeSaysWhyAndLeavesTheOwnerUntold) {
  struct Case {
    const char* name;
    std::string reply;
    bool hang_up;
    std::string text;
  } cases[] = {
      {"out of sync", frame(message(0, 7)), false, "start-up ping out of sync (got 7, expected 1)"},
      {"closed", "", true, "start-up ping: the proxy closed the connection"},
      {"silent past the time-out: another client may hold the proxy", "", false,
       "the proxy at 127.0.0.1:PORT accepted the connection but did not answer the start-up "
       "ping within 0.2 s: a proxy serves one client at a time, so another client may hold it"},
      {"part of a reply, then silence", frame(message(0, 1)).substr(0, 5), false,
       "start-up ping: no progress from the proxy within 0.2 s"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ScriptedProxy proxy(k.reply, k.hang_up, 12);
    EXPECT_TRUE(proxy.listening());
    if (!proxy.listening()) continue;
    Connected c = connect_to(proxy.port(), 0.2);
    EXPECT_EQ(c.rc, -1);
    EXPECT_EQ(c.failure.step, ConnectStep::kProbe);
    std::string text = k.text;
    if (size_t at = text.find("PORT"); at != std::string::npos)
      text.replace(at, 4, std::to_string(proxy.port()));
    EXPECT_EQ(c.failure.text, text);
    EXPECT_EQ(c.owner_heard, 0);
    EXPECT_TRUE(c.hook_back);
  }
}

TEST(ConnectDevice, ARefusedConnectNamesTheProxysAddress) {
  int port = testing::free_loopback_port();
  Connected c = connect_to(port, 1);
  EXPECT_EQ(c.rc, -1);
  EXPECT_EQ(c.failure.step, ConnectStep::kConnect);
  EXPECT_EQ(c.failure.text, "cannot connect to the proxy at 127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(c.owner_heard, 0);
}

}  // namespace
}  // namespace rq
