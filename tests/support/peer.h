// One end of a connection driven by hand: a test that plays the shell against rqsim, or the
// device against a program under test, sends raw bytes and frames and reads frames back
// through the link. Every wait is bounded, so a peer that falls silent fails the test
// instead of hanging it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/socket.h"

namespace rq {
struct Link;
}

namespace rq::testing {

// What receive_code returns when no message came.
constexpr int kNoMessage = -1000;

class FramedPeer {
 public:
  // wait_ms bounds each wait for the other side (its connection, its next byte).
  explicit FramedPeer(int wait_ms = 10000);
  ~FramedPeer();  // closes the connection
  FramedPeer(const FramedPeer&) = delete;
  FramedPeer& operator=(const FramedPeer&) = delete;

  // Connects to 127.0.0.1:port, or takes the next connection on a listening socket.
  bool connect(int port);
  bool accept(SocketHandle listener);
  bool connected() const;
  void close();

  bool send_bytes(const std::string& bytes);
  bool send_frame(const std::string& payload);

  // The next frame's payload; a frame too long for any buffer is skipped. False when the
  // connection closed or nothing came in time.
  bool receive(std::string* payload);
  // The header of the frame received last, as it came (markers and length).
  const std::string& last_header() const { return header_; }
  // The status code of the next 8-byte message, or kNoMessage.
  int receive_code();

 private:
  std::unique_ptr<Link> link_;  // its buffers are large
  int wait_ms_;
  std::string header_;
};

// The value field of an 8-byte message.
int32_t message_value(const std::string& message);

// A loopback port that nothing listens on right now (the kernel's choice, then released).
int free_loopback_port();

}  // namespace rq::testing
