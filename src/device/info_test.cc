// pwd's and ver's text reply over every prefix of a reply: the text runs to its zero or to
// the frame's end, whatever length the status announced, and the exchange stays in step.
// (The step each failure ends at: file_transfer_test.cc, with the other exchanges.)
#include "device/info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;

struct TextRun {
  Result result;
  std::string text;
};

// Runs read_text for code against the proxy's script.
TextRun read_text_from(FakeProxy& p, uint8_t code) {
  static uint8_t asked;
  static TextRun got;
  asked = code;
  got = TextRun{};
  p.run(
      [](Shell& c, char*) {
        TextReply reply;
        got.result = read_text(c.device, asked, &reply);
        if (got.result.ok()) got.text.assign(reply.text, static_cast<size_t>(reply.length));
        return 0;
      },
      "");
  return got;
}

TEST(TextReply, EveryPrefixOfAReplyReadsUpToItsZeroOrItsEnd) {
  const std::string reply = std::string("build 42\0junk", 13);
  for (uint8_t code : {kCmdPwd, kCmdVer}) {
    for (size_t n = 0; n <= reply.size(); ++n) {
      SCOPED_TRACE("code " + std::to_string(code) + ", first " + std::to_string(n) + " bytes");
      FakeProxy p;
      // The announced length is the whole reply's: the frame decides what arrives.
      p.ready().status(0, static_cast<int32_t>(reply.size())).reply(reply.substr(0, n));
      TextRun run = read_text_from(p, code);
      EXPECT_TRUE(run.result.ok());
      EXPECT_EQ(run.text, reply.substr(0, std::min<size_t>(n, 8)));
      EXPECT_EQ(p.unread(), 0u);
      char command[64];
      snprintf(command, sizeof command, "41 67 00 08 %02x xx xx xx 00 00 00 00", code);
      EXPECT_EQ(testing::frames_mismatch({command}, p.sent_frames()), "");
    }
  }
}

}  // namespace
}  // namespace rq
