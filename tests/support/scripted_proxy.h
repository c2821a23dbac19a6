// A proxy on a loopback port for code that connects by itself (rqtool's commands, the
// device layer's connect): it accepts one connection, plays its script, and records what
// the client sends until the client closes.
#pragma once

#include <cstddef>
#include <string>
#include <thread>

#include "link/socket.h"

namespace rq::testing {

class ScriptedProxy {
 public:
  // Plays script once the client has sent wait_for bytes (0: at once, before the client
  // says anything, as a proxy that speaks first). With hang_up, only the sending side is
  // then shut, so that the client reads a clean end of stream rather than a reset.
  ScriptedProxy(std::string script, bool hang_up, size_t wait_for = 0);
  ~ScriptedProxy();
  ScriptedProxy(const ScriptedProxy&) = delete;
  ScriptedProxy& operator=(const ScriptedProxy&) = delete;

  bool listening() const { return listener_ != kNoSocket; }
  int port() const { return port_; }
  // What the client sent; waits for it to close (or for 5 s of silence).
  std::string received();

 private:
  void serve(const std::string& script, bool hang_up, size_t wait_for);

  SocketHandle listener_ = kNoSocket;
  int port_ = 0;
  std::thread thread_;
  std::string received_;
};

}  // namespace rq::testing
