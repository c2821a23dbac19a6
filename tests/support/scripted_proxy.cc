#include "support/scripted_proxy.h"

namespace rq::testing {

namespace {
constexpr int kPatienceMs = 5000;
}  // namespace

ScriptedProxy::ScriptedProxy(std::string script, bool hang_up, size_t wait_for) {
  listener_ = socket_listen_ipv4("127.0.0.1", 0, &port_);
  if (listener_ != kNoSocket)
    thread_ = std::thread([this, script, hang_up, wait_for] { serve(script, hang_up, wait_for); });
}

ScriptedProxy::~ScriptedProxy() {
  if (thread_.joinable()) thread_.join();
  if (listener_ != kNoSocket) socket_close(listener_);
}

std::string ScriptedProxy::received() {
  if (thread_.joinable()) thread_.join();
  return received_;
}

void ScriptedProxy::serve(const std::string& script, bool hang_up, size_t wait_for) {
  if (socket_wait_readable(listener_, kPatienceMs) != 1) return;  // nobody came
  SocketHandle s = socket_accept(listener_);
  if (s == kNoSocket) return;
  bool played = false;
  auto play = [&] {
    if (!script.empty()) socket_send(s, script.data(), script.size());
    if (hang_up) socket_shutdown_send(s);
    played = true;
  };
  if (wait_for == 0) play();
  char buf[4096];
  while (socket_wait_readable(s, kPatienceMs) == 1) {
    long n = socket_recv(s, buf, sizeof buf);
    if (n <= 0) break;
    received_.append(buf, static_cast<size_t>(n));
    if (!played && received_.size() >= wait_for) play();
  }
  socket_close(s);
}

}  // namespace rq::testing
