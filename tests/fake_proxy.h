// A scripted stand-in for the device proxy. A test queues the frames the proxy will play
// (ready, status, replies, data), runs one command line (or any code) of a shell session
// against it over a socket pair, then compares what the shell wrote on the wire and on its
// console, and how the command ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/commands.h"
#include "shell/shell.h"
#include "support/wire.h"

namespace rq::testing {

// Code run against the proxy, with a copy of the line the test gave.
using Handler = std::function<int(Shell& c, char* line)>;

class FakeProxy {
 public:
  FakeProxy();
  ~FakeProxy();
  FakeProxy(const FakeProxy&) = delete;
  FakeProxy& operator=(const FakeProxy&) = delete;

  Shell& shell() { return *shell_; }

  // What the proxy plays, in order. ready() and status() are the same 8-byte message.
  FakeProxy& ready(int code = 0, int32_t value = 0);
  FakeProxy& status(int code, int32_t value = 0) { return ready(code, value); }
  FakeProxy& reply(const std::string& payload);  // one frame
  FakeProxy& raw(const std::string& bytes);      // bytes as they are, framed or not
  FakeProxy& split(bool one_byte_writes);        // deliver the script one byte per write
  FakeProxy& hang_up();  // the shell sees the connection closed once the script is played
  // The proxy writes its whole script and closes its end before the shell runs: the shell
  // reads what was written, and every frame it sends fails.
  FakeProxy& vanish();
  // What is queued after this call is played only once the shell has sent `bytes` bytes in
  // the run: a proxy that stays silent until it is spoken to.
  FakeProxy& after_sent(size_t bytes);

  // Lines the operator types (read by the shell's console_in).
  FakeProxy& console(const std::string& text);

  // Runs the handler with a copy of line; returns what it printed on the console.
  std::string run(const Handler& handler, const std::string& line);

  // Runs line through the command table (dispatch_command); returns what it printed on the
  // console. outcome() then says how the command ended.
  std::string run(const std::string& line);
  CommandOutcome outcome() const { return outcome_; }

  // Everything the shell sent during the runs so far, and the same cut into frames.
  const std::string& sent() const { return sent_; }
  std::vector<std::string> sent_frames() const;

  // Scripted bytes the shell has not read (left in the socket or its staging buffer).
  size_t unread() const { return unread_; }

 private:
  Device* device_;
  Shell* shell_;
  intptr_t proxy_end_;
  std::string script_;
  bool split_ = false;
  bool hang_up_ = false;
  bool vanish_ = false;
  size_t held_from_ = std::string::npos;  // where the held part of the script begins
  size_t held_until_sent_ = 0;
  std::string console_text_;
  std::string sent_;
  size_t unread_ = 0;
  CommandOutcome outcome_ = CommandOutcome::kOk;
};

}  // namespace rq::testing
