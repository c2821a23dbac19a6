// Drives rqsim's session handler from the shell's side in tests: the session runs on a
// thread at one end of a socket pair, and the test writes the shell's frames by hand at the
// other and reads what the simulated proxy answers.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "link/link.h"
#include "link/protocol.h"
#include "link/socket.h"
#include "session.h"
#include "support/files.h"
#include "support/wire.h"
#include "test_root.h"

namespace rq::sim::testing {

using rq::testing::frame;
using rq::testing::message;
using rq::testing::patterned;
using rq::testing::put_payload;
using rq::testing::with_zero;

inline std::string ready() { return message(0); }

class FakeShell {
 public:
  explicit FakeShell(SimOptions options = SimOptions()) : options_(options) {
    options_.diag_delay_ms = 0;
    std::snprintf(options_.boot_dir, sizeof options_.boot_dir, "%s", root.boot_dir().c_str());
    socket_startup();
    SocketHandle pair[2];
    if (socket_pair(pair) != 0) return;
    end_ = pair[1];
    link_attach(*shell_link_, end_);
    log_ = tmpfile();
    session_ = std::make_unique<Session>();
    session_->options = &options_;
    session_->fs.root_fd = root.fs.root_fd;
    session_->log = log_;
    session_start(*session_, pair[0]);
    sim_ = pair[0];
    // Like rqsim's accept loop, the simulator's end closes when the session ends.
    thread_ = std::thread([this] {
      serve_session(*session_);
      socket_close(sim_);
    });
  }
  ~FakeShell() { leave(); }
  FakeShell(const FakeShell&) = delete;
  FakeShell& operator=(const FakeShell&) = delete;

  // Closes the shell's end and waits for the session to end.
  void leave() {
    if (end_ != kNoSocket) socket_close(end_);
    end_ = kNoSocket;
    if (thread_.joinable()) thread_.join();
    if (log_) fclose(log_);
    log_ = nullptr;
  }

  void send(const std::string& payload) { send_raw(frame(payload)); }
  void send_raw(const std::string& raw) {
    if (end_ != kNoSocket)
      link_send_all(*shell_link_, reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
  }
  void send_message(int code, int32_t value = 0, int sub = 0) { send(message(code, value, sub)); }

  // The payload of the next frame, "<timeout>" after 5 s, or "<closed>". Read byte-exact
  // from the socket, apart from the link's frame reader, so that a framing fault shared by
  // rqsim and the link still shows here.
  std::string receive() {
    uint8_t header[kFrameHeaderSize];
    if (!read_exactly(header, sizeof header)) return last_;
    std::string payload(frame_payload_length(header), '\0');
    if (!read_exactly(reinterpret_cast<uint8_t*>(payload.data()), payload.size())) return last_;
    return payload;
  }

  // Everything the simulator sends until it closes the link (or 5 s pass).
  std::string drain() {
    std::string out;
    uint8_t buf[4096];
    while (socket_wait_readable(end_, 5000) == 1) {
      long r = socket_recv(end_, buf, sizeof buf);
      if (r <= 0) break;
      out.append(reinterpret_cast<char*>(buf), static_cast<size_t>(r));
    }
    return out;
  }

  // Sends the start-up ping the shell sends before any ready, and checks its answer.
  bool start() {
    send_message(kCmdPing, 0);
    return receive() == message(0, 1);
  }

  std::string log() { return rq::testing::read_stream(log_); }

  TestRoot root;

 private:
  bool read_exactly(uint8_t* p, size_t n) {
    size_t got = 0;
    while (got < n) {
      if (socket_wait_readable(end_, 5000) != 1) {
        last_ = "<timeout>";
        return false;
      }
      long r = socket_recv(end_, p + got, n - got);
      if (r <= 0) {
        last_ = "<closed>";
        return false;
      }
      got += static_cast<size_t>(r);
    }
    return true;
  }

  SimOptions options_;
  std::unique_ptr<Session> session_;
  SocketHandle sim_ = kNoSocket;
  SocketHandle end_ = kNoSocket;
  std::unique_ptr<Link> shell_link_ = std::make_unique<Link>();  // sends the shell's bytes
  FILE* log_ = nullptr;
  std::thread thread_;
  std::string last_;
};

}  // namespace rq::sim::testing
