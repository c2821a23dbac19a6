// Plays arbitrary proxy bytes (and console answers) against one shell command, so every
// reply parser — status and ready messages, texts, listings, download frames, the diag
// dialogue — meets hostile input. The first byte picks the command; the rest is split
// between the proxy's stream and the console.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "device/device.h"
#include "link/link.h"
#include "link/socket.h"
#include "shell/commands.h"
#include "shell/shell.h"

namespace {

const char* const kLines[] = {
    "ping",          "ping N",         "ls",       "ls /dir",       "pwd",
    "ver",           "format",         "cd a",     "mkdir b",       "rm c",
    "launch d.elf",  "mv a b",         "cp a b",   "get a out.bin", "rb 1 boot.bin",
    "rb 3 boot.bin", "diag usb",       "diag gba", "diag aud",      "diag flash",
    "wb 2 in.bin",   "put in.bin dev",
};

// The scratch directory the commands write in; it goes when the fuzzer exits.
char scratch[] = "/tmp/rqshell-fuzz.XXXXXX";

void remove_scratch() {
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
}

std::string scratch_dir() {
  if (!mkdtemp(scratch)) abort();
  atexit(remove_scratch);
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 60000) return 0;
  static const std::string dir = scratch_dir();
  static bool prepared = false;
  if (!prepared) {
    prepared = true;
    if (chdir(dir.c_str()) != 0) return 0;
    FILE* f = fopen("in.bin", "wb");
    if (f) {
      for (int i = 0; i < 40000; ++i) fputc(i & 0xff, f);
      fclose(f);
    }
  }
  const char* line = kLines[data[0] % (sizeof kLines / sizeof kLines[0])];
  size_t console_len = data[1] % 32;
  if (console_len > size - 2) console_len = size - 2;
  const uint8_t* console = data + 2;
  const uint8_t* stream = console + console_len;
  size_t stream_len = size - 2 - console_len;

  rq::SocketHandle ends[2];
  if (rq::socket_pair(ends) != 0) return 0;
  // The socket buffer takes the whole stream at once; then the proxy hangs up.
  rq::Link proxy;
  rq::link_attach(proxy, ends[1]);
  rq::link_send_all(proxy, stream, stream_len);
  // Keep the proxy end open for writes the shell makes, but signal end of stream.
  rq::socket_shutdown_send(ends[1]);

  auto device = std::make_unique<rq::Device>();
  auto c = std::make_unique<rq::Shell>(*device);
  rq::link_attach(device->link, ends[0]);
  c->console_out = fopen("/dev/null", "w");
  c->console_in = fmemopen(const_cast<uint8_t*>(console), console_len ? console_len : 1, "r");
  if (!console_len && c->console_in) fgetc(c->console_in);
  std::string text = line;
  rq::dispatch_command(*c, text.data());
  fclose(c->console_out);
  if (c->console_in) fclose(c->console_in);
  rq::socket_close(ends[0]);
  rq::socket_close(ends[1]);
  return 0;
}
