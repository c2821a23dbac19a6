// Plays arbitrary shell bytes into rqsim's session, so every request decoder — command
// messages, paths and names, put payloads and chunks, boot writes, the audio dialogue's
// answers, bytes that are no frame — meets hostile input, with the device file system on a
// real directory. The first byte picks a few simulator settings; the rest is the shell's
// stream, after which the shell stops sending. What rqsim answers is read and dropped.
//
// Each input starts from the same device (formatted, then a file, a directory, an ELF file
// and a boot image), so a finding replays alone. The directory goes at exit.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "device_fs.h"
#include "device_setup.h"
#include "link/socket.h"
#include "session.h"
#include "sim_options.h"

namespace {

namespace fs = std::filesystem;

struct Device {
  std::string dir;  // holds root/ and boot/
  std::string root, boot;
  rq::sim::SimOptions options;
  std::unique_ptr<rq::sim::Session> session = std::make_unique<rq::sim::Session>();
  FILE* log = nullptr;
};

Device* the_device = nullptr;

void remove_device() {
  std::error_code ec;
  if (the_device) fs::remove_all(the_device->dir, ec);
}

void write(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

Device* device() {
  if (the_device) return the_device;
  char pattern[] = "/tmp/rqsim-fuzz.XXXXXX";
  if (!mkdtemp(pattern)) abort();
  auto* d = new Device;
  d->dir = pattern;
  d->root = d->dir + "/root";
  d->boot = d->dir + "/boot";
  d->options.root = d->root.c_str();
  snprintf(d->options.boot_dir, sizeof d->options.boot_dir, "%s", d->boot.c_str());
  d->options.diag_delay_ms = 0;
  d->log = fopen("/dev/null", "w");
  int root_fd = rq::sim::prepare_device(d->options, stderr);
  if (root_fd < 0 || !d->log) abort();
  d->session->options = &d->options;
  d->session->fs.root_fd = root_fd;
  d->session->log = d->log;
  rq::socket_startup();
  the_device = d;
  atexit(remove_device);
  return d;
}

void reset_device(Device& d) {
  rq::sim::fs_format(d.session->fs);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(d.boot, ec)) fs::remove_all(e.path(), ec);
  fs::create_directory(d.root + "/d", ec);
  write(d.root + "/f", "hello, device");
  write(d.root + "/e", std::string("\x7f"
                                   "ELF",
                                   4) +
                           std::string(40, 'x'));
  write(d.boot + "/boot2.img", std::string(20000, 'b'));
}

// The shell's side: sends the stream, ends it, and reads whatever comes back until rqsim
// closes, so the session never blocks on a full socket.
void play_shell(rq::SocketHandle end, const uint8_t* data, size_t size) {
  size_t sent = 0;
  bool open = true;
  uint8_t sink[16384];
  if (size == 0) rq::socket_shutdown_send(end);
  while (open) {
    if (sent < size && rq::socket_wait_writable(end, 0) == 1) {
      long n = rq::socket_send(end, data + sent, size - sent);
      if (n <= 0)
        sent = size;  // rqsim has gone
      else
        sent += static_cast<size_t>(n);
      if (sent == size) rq::socket_shutdown_send(end);
    }
    if (rq::socket_wait_readable(end, sent < size ? 1 : 1000) == 1)
      open = rq::socket_recv(end, sink, sizeof sink) > 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Device& d = *device();
  reset_device(d);
  // Settings: one byte per write, a forced oversize first answer, and the wb reduction.
  static const int32_t kReductions[] = {512, 0, 16383, 16384, -1};
  rq::sim::Faults& f = d.options.faults;
  f.split = data[0] & 1;
  f.oversize = data[0] & 2 ? ~0u : 0u;
  d.options.reduction = kReductions[(data[0] >> 2) % 5];

  rq::SocketHandle ends[2];
  if (rq::socket_pair(ends) != 0) return 0;
  std::thread shell(play_shell, ends[1], data + 1, size - 1);
  rq::sim::session_start(*d.session, ends[0]);
  rq::sim::serve_session(*d.session);
  rq::socket_close(ends[0]);
  shell.join();
  rq::socket_close(ends[1]);
  return 0;
}
