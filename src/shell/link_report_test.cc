// The link and the ready rule against a scripted proxy, as a shell session sees them: frame
// bytes on the wire, reassembly, a closed or misbehaving peer reported on the console, and
// the failure report.
#include <gtest/gtest.h>

#include "device/device.h"
#include "fake_proxy.h"
#include "shell/failure_report.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::frame;
using testing::hex;
using testing::message;

TEST(SendFrame, WritesMarkersBigEndianLengthAndPayload) {
  FakeProxy p;
  p.run(
      [](Shell& c, char*) {
        send_frame(c.device, nullptr, 0);
        uint8_t payload[300];
        for (int i = 0; i < 300; ++i) payload[i] = static_cast<uint8_t>(i);
        return send_frame(c.device, payload, sizeof payload);
      },
      "");
  auto frames = p.sent_frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(hex(frames[0]), "41 67 00 00");
  EXPECT_EQ(hex(frames[1].substr(0, 6)), "41 67 01 2c 00 01");
  EXPECT_EQ(frames[1].size(), 304u);
}

// Receives frames until the script runs out and prints what came, one line each.
int receive_all(Shell& c, char*) {
  uint8_t buf[kMessageBufferSize];
  for (int i = 0; i < 4; ++i) {
    int n = receive_frame(c.device, buf, 8);
    fprintf(c.console_out, "got %d\n", n);
    if (n < 0 && c.device.link.peer_closed) break;
  }
  return 0;
}

TEST(ReceiveFrame, ReassemblesFramesDeliveredOneByteAtATime) {
  FakeProxy p;
  p.split(true).reply("12345678").reply("").reply("abc").reply("87654321");
  EXPECT_EQ(p.run(receive_all, ""), "got 8\ngot 0\ngot 3\ngot 8\n");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(ReceiveFrame, DropsFramesTooLongForTheCallerOrTheProtocolAndStaysInStep) {
  FakeProxy p;
  p.reply(std::string(9, 'x'))
      .raw("Ag\x40\x01" + std::string(16385, 'o'))
      .reply("12345678")
      .reply("12345678");
  EXPECT_EQ(p.run(receive_all, ""),
            "ERROR: DX proxy sent 9 bytes where at most 8 fit\ngot -1\n"
            "ERROR: DX proxy sent a frame of 16385 bytes (at most 16384 allowed)\ngot -1\n"
            "got 8\ngot 8\n");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(ReceiveFrame, AClosedConnectionFailsAtOnceAndEveryLaterCallFailsFast) {
  FakeProxy p;
  p.reply("12345678").raw("Ag\x00").hang_up();
  EXPECT_EQ(p.run(receive_all, ""),
            "got 8\nERROR: DX proxy program closed the connection\ngot -1\n");
  EXPECT_TRUE(p.shell().device.link.peer_closed);
  EXPECT_EQ(p.run(receive_all, ""), "ERROR: DX proxy program closed the connection\ngot -1\n");
  EXPECT_EQ(p.run([](Shell& c, char*) { return send_frame(c.device, c.device.message, 8); }, ""),
            "ERROR: DX proxy program closed the connection\n");
}

int gated_send(Shell& c, char*) {
  const uint8_t payload[] = {1, 2, 3};
  fprintf(c.console_out, "rc %d\n", ready_gated_send(c.device, payload, sizeof payload));
  return 0;
}

TEST(ReadyGatedSend, SendsOnlyAfterAReadyWithCodeZero) {
  struct Case {
    std::string script;
    std::string console;
    size_t frames_sent;
  } cases[] = {
      {frame(message(0)), "rc 0\n", 1},
      {frame(message(5)), "rc 5\n", 0},
      {frame(message(0xff)), "rc -1\n", 0},
      {frame(""), "rc 0\n", 1},  // a short ready has zeros where bytes are missing
      {"", "ERROR: DX proxy program closed the connection\nrc -1\n", 0},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.raw(k.script);
    if (k.script.empty()) p.hang_up();
    EXPECT_EQ(p.run(gated_send, ""), k.console) << hex(k.script);
    EXPECT_EQ(p.sent_frames().size(), k.frames_sent) << hex(k.script);
  }
}

TEST(FailureReport, PrintsTheStatusTextThenTheCommandLine) {
  FakeProxy p;
  EXPECT_EQ(p.run(
                [](Shell& c, char*) {
                  print_failure_report(c, 9, "rm command failed errcode = %d\n");
                  print_failure_report(c, -1, "cd command failed errcode = %d\n");
                  return 0;
                },
                ""),
            "ERROR: file does not exist \nrm command failed errcode = 9\n"
            "ERROR: invalid error code \ncd command failed errcode = -1\n");
}

}  // namespace
}  // namespace rq
