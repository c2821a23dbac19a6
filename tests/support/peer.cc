#include "support/peer.h"

#include "link/link.h"
#include "link/protocol.h"
#include "support/wire.h"

namespace rq::testing {

FramedPeer::FramedPeer(int wait_ms) : link_(std::make_unique<Link>()), wait_ms_(wait_ms) {
  link_->timeout_ms = wait_ms;
}

FramedPeer::~FramedPeer() { close(); }

bool FramedPeer::connect(int port) {
  close();
  if (link_connect(*link_, "127.0.0.1", port) == 0) return true;
  link_->socket = kNoSocket;
  return false;
}

bool FramedPeer::accept(SocketHandle listener) {
  close();
  if (socket_wait_readable(listener, wait_ms_) != 1) return false;
  SocketHandle s = socket_accept(listener);
  if (s == kNoSocket) return false;
  link_attach(*link_, s);
  return true;
}

bool FramedPeer::connected() const { return link_->socket != kNoSocket; }

void FramedPeer::close() {
  if (connected()) link_close(*link_);
  link_->socket = kNoSocket;
}

bool FramedPeer::send_bytes(const std::string& bytes) {
  return connected() &&
         link_send_all(*link_, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 0;
}

bool FramedPeer::send_frame(const std::string& payload) { return send_bytes(frame(payload)); }

bool FramedPeer::receive(std::string* payload) {
  for (;;) {
    if (!connected()) return false;
    const uint8_t* p;
    size_t length;
    int n = link_next_frame(*link_, wait_ms_, &p, &length);
    if (n == kLinkOversize) continue;
    if (n < 0) return false;
    header_.assign(reinterpret_cast<const char*>(frame_reader_frame(link_->reader)),
                   kFrameHeaderSize);
    payload->assign(reinterpret_cast<const char*>(p), length);
    return true;
  }
}

int FramedPeer::receive_code() {
  std::string m;
  if (!receive(&m) || m.size() != kMessageSize) return kNoMessage;
  return static_cast<int8_t>(m[0]);
}

int32_t message_value(const std::string& message) {
  if (message.size() < kMessageSize) return 0;
  return get_le32(reinterpret_cast<const uint8_t*>(message.data()) + 4);
}

int free_loopback_port() {
  int port = 0;
  SocketHandle s = socket_listen_ipv4("127.0.0.1", 0, &port);
  if (s == kNoSocket) return 0;
  socket_close(s);
  return port;
}

}  // namespace rq::testing
