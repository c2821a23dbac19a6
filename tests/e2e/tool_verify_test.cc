// boot write's read-back against a device that returns other bytes than it was given. rqsim
// keeps what it is sent faithfully, so here a scripted stand-in on a loopback port plays the
// device: it answers the start-up ping, takes boot image 1 and hands back a changed image
// (or one of another size). The real rqtool must then exit 5 and say where they differ.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "e2e/tool_fixture.h"
#include "link/socket.h"
#include "support/peer.h"
#include "support/wire.h"

namespace rq::e2e {
namespace {

using testing::frame;
using testing::FramedPeer;
using testing::message;
using testing::message_value;

// Serves one client: the start-up ping, a write of boot image 1 (a ready before each chunk,
// no status after), then a read of boot image 1 answered with `image_read`. What the client
// wrote ends in `written`.
void play_device(SocketHandle listener, const std::string& image_read, std::string& written) {
  FramedPeer client;
  if (!client.accept(listener)) return;
  std::string m;
  // The client sends its probe ping when nothing comes within its first 20 ms.
  if (!client.receive(&m) || m[0] != 1) return;
  client.send_frame(message(0, message_value(m) + 1));
  client.send_frame(message(0));  // the ready for the next command
  if (!client.receive(&m) || static_cast<uint8_t>(m[0]) != 0x31 || m[1] != 1) return;
  const size_t size = static_cast<size_t>(message_value(m));
  std::string chunk;
  while (written.size() < size) {
    client.send_frame(message(0));
    if (!client.receive(&chunk) || chunk.empty()) return;
    written += chunk;
  }
  client.send_frame(message(0));  // the ready for the read-back
  if (!client.receive(&m) || static_cast<uint8_t>(m[0]) != 0x30 || m[1] != 1) return;
  std::string reply = frame(message(0, static_cast<int32_t>(image_read.size())));
  for (size_t at = 0; at < image_read.size(); at += 16384) {
    if (at > 0) reply += frame(message(0, static_cast<int32_t>(at)));  // before each further frame
    reply += frame(image_read.substr(at, 16384));
  }
  client.send_bytes(reply);
  // Until the client leaves.
  while (client.receive(&m)) client.send_frame(message(0));
}

class ToolVerify : public ToolTest {};

TEST_F(ToolVerify, AnImageThatComesBackChangedExitsFive) {
  const std::string image = random_bytes(40000, 14);
  std::string changed_at_20000 = image;
  changed_at_20000[20000] ^= 0x5a;
  struct Case {
    const char* name;
    std::string read_back;
    int exit;
    std::vector<std::string> err;  // parts of standard error naming the difference
  } cases[] = {
      {"same", image, kExitOk, {}},
      {"one byte changed", changed_at_20000, kExitVerify, {"20000"}},        // the offset
      {"shorter", image.substr(0, 30000), kExitVerify, {"30000", "40000"}},  // both sizes
      {"empty", "", kExitVerify, {"40000"}},
  };
  write_file(dir_ / "boot.img", image);
  ASSERT_EQ(socket_startup(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int port = 0;
    SocketHandle listener = socket_listen_ipv4("127.0.0.1", 0, &port);
    EXPECT_NE(listener, kNoSocket);
    if (listener == kNoSocket) continue;
    std::string written;
    std::thread device(play_device, listener, c.read_back, std::ref(written));
    e2e::Run r = run_program(
        {rqtool_bin(), "-t", "10", "-p", std::to_string(port), "boot", "write", "1", "boot.img"},
        "", 30000, dir_.path());
    device.join();
    socket_close(listener);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, c.exit) << r.err;
    EXPECT_TRUE(written == image) << "the device was sent other bytes";
    for (const std::string& part : c.err) EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace rq::e2e
