#include "fake_proxy.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "link/frame_reader.h"
#include "link/socket.h"

namespace rq::testing {

FakeProxy::FakeProxy() : device_(new Device), shell_(new Shell(*device_)) {
  SocketHandle ends[2];
  if (socket_pair(ends) != 0) abort();
  link_attach(shell_->device.link, ends[0]);
  proxy_end_ = ends[1];
  shell_->console_out = tmpfile();
  shell_->console_in = tmpfile();
}

FakeProxy::~FakeProxy() {
  link_close(shell_->device.link);
  if (proxy_end_ != kNoSocket) socket_close(proxy_end_);
  fclose(shell_->console_out);
  fclose(shell_->console_in);
  if (shell_->script) fclose(shell_->script);
  delete shell_;
  delete device_;
}

FakeProxy& FakeProxy::ready(int code, int32_t value) { return reply(message(code, value)); }
FakeProxy& FakeProxy::reply(const std::string& payload) { return raw(frame(payload)); }
FakeProxy& FakeProxy::raw(const std::string& bytes) {
  script_ += bytes;
  return *this;
}
FakeProxy& FakeProxy::split(bool one_byte_writes) {
  split_ = one_byte_writes;
  return *this;
}
FakeProxy& FakeProxy::hang_up() {
  hang_up_ = true;
  return *this;
}
FakeProxy& FakeProxy::vanish() {
  vanish_ = true;
  return *this;
}
FakeProxy& FakeProxy::after_sent(size_t bytes) {
  held_from_ = script_.size();
  held_until_sent_ = bytes;
  return *this;
}
FakeProxy& FakeProxy::console(const std::string& text) {
  console_text_ += text;
  return *this;
}

std::string FakeProxy::run(const std::string& line) {
  return run(
      [this](Shell& c, char* text) {
        outcome_ = dispatch_command(c, text);
        return 0;
      },
      line);
}

std::string FakeProxy::run(const Handler& handler, const std::string& line) {
  // Console input: whatever was queued and not yet read.
  long in_pos = ftell(shell_->console_in);
  fseek(shell_->console_in, 0, SEEK_END);
  fwrite(console_text_.data(), 1, console_text_.size(), shell_->console_in);
  fseek(shell_->console_in, in_pos, SEEK_SET);
  console_text_.clear();

  std::atomic<bool> done{false};
  std::string script;
  script.swap(script_);
  size_t written = 0;
  if (vanish_ && proxy_end_ != kNoSocket) {
    // Small scripts only: the socket buffer takes them whole.
    while (written < script.size()) {
      long rc = socket_send(proxy_end_, script.data() + written, script.size() - written);
      if (rc <= 0) abort();
      written += static_cast<size_t>(rc);
    }
    socket_close(proxy_end_);
    proxy_end_ = kNoSocket;
  }
  size_t held_from = held_from_, held_until_sent = held_until_sent_;
  held_from_ = std::string::npos;
  size_t sent_before = sent_.size();
  bool hung_up = false;
  // One peer thread plays the script and records what the shell sends, so neither side
  // can block the other whatever the sizes.
  std::thread peer([&] {
    char buf[65536];
    for (;;) {
      bool idle = true;
      bool held = held_from != std::string::npos && sent_.size() - sent_before < held_until_sent;
      size_t playable = held ? held_from : script.size();
      if (proxy_end_ != kNoSocket && written < playable &&
          socket_wait_writable(proxy_end_, 0) == 1) {
        size_t n = split_ ? 1 : playable - written;
        long rc = socket_send(proxy_end_, script.data() + written, n);
        if (rc > 0) written += static_cast<size_t>(rc), idle = false;
      }
      if (proxy_end_ != kNoSocket && socket_wait_readable(proxy_end_, idle ? 2 : 0) == 1) {
        long n = socket_recv(proxy_end_, buf, sizeof buf);
        if (n > 0) sent_.append(buf, static_cast<size_t>(n)), idle = false;
      }
      // Only the proxy's sending side is shut: the shell sees the connection end, while
      // frames it sent before noticing are still recorded instead of failing by chance.
      if (hang_up_ && !hung_up && proxy_end_ != kNoSocket && written == script.size() && !held) {
        socket_shutdown_send(proxy_end_);
        hung_up = true;
      }
      if (done && idle) break;
    }
  });

  long out_pos = ftell(shell_->console_out);
  std::string copy = line;
  std::vector<char> text(copy.begin(), copy.end());
  text.push_back('\0');
  handler(*shell_, text.data());
  fflush(shell_->console_out);

  done = true;
  peer.join();

  // What the shell left unread: bytes held in its stage plus those still in the socket.
  unread_ = frame_reader_pending(shell_->device.link.reader) + (script.size() - written);
  char buf[4096];
  while (socket_wait_readable(shell_->device.link.socket, 0) == 1) {
    long n = socket_recv(shell_->device.link.socket, buf, sizeof buf);
    if (n <= 0) break;
    unread_ += static_cast<size_t>(n);
  }

  std::string out;
  fseek(shell_->console_out, out_pos, SEEK_SET);
  int ch;
  while ((ch = fgetc(shell_->console_out)) != EOF) out += static_cast<char>(ch);
  return out;
}

std::vector<std::string> FakeProxy::sent_frames() const {
  std::vector<std::string> frames;
  size_t p = 0;
  while (p + 4 <= sent_.size()) {
    size_t len = frame_payload_length(reinterpret_cast<const uint8_t*>(sent_.data() + p));
    frames.push_back(sent_.substr(p, 4 + len));
    p += 4 + len;
  }
  return frames;
}

}  // namespace rq::testing
