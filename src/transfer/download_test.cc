// get against the scripted proxy: the request, data frames of any length, the rate report,
// and a target that is replaced only by a download that succeeded in full.
#include "transfer/download.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_proxy.h"
#include "support/files.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::patterned;
using testing::read_bytes;
using testing::read_stream;
using testing::TempDir;
using testing::wire_matches;
using testing::write_file;

TEST(Get, WritesFramesOfAnyLengthInOrder) {
  struct Case {
    const char* name;
    int32_t size;
    std::vector<size_t> frames;
    size_t file_size;
    const char* report;
  } cases[] = {
      {"three frames", 25000, {10000, 10000, 5000}, 25000, "Download 24.4 KB "},
      {"full chunks", 40000, {16384, 16384, 7232}, 40000, "Download 39.1 KB "},
      {"empty file", 0, {}, 0, "Download 0.0 KB "},
      {"negative size reads nothing", -5, {}, 0, "Download -0.0 KB "},
      {"last frame past the size is written whole", 100, {150}, 150, "Download 0.1 KB "},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TempDir dir;
    std::string data = patterned(k.file_size);
    FakeProxy p;
    p.ready().ready().status(0, k.size);
    size_t offset = 0;
    for (size_t n : k.frames) p.reply(data.substr(offset, n)), offset += n;
    p.hang_up();

    std::string out = p.run(cmd_get, "get dev/a.txt " + (dir / "out.bin"));

    EXPECT_EQ(out.rfind(k.report, 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    EXPECT_EQ(read_bytes(dir / "out.bin"), data);
    EXPECT_EQ(dir.entries(), std::set<std::string>{"out.bin"});
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 2u);
    if (f.size() != 2u) continue;
    EXPECT_TRUE(wire_matches("41 67 00 08 0a xx xx xx 0a 00 00 00", f[0])) << hex(f[0]);
    EXPECT_EQ(f[1], testing::frame(std::string("dev/a.txt") + '\0'));
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Get, AnEmptyFrameIsReportedAndTheDownloadGoesOn) {
  TempDir dir;
  FakeProxy p;
  p.ready().ready().status(0, 10).reply("").reply("0123456789");
  std::string out = p.run(cmd_get, "get a " + (dir / "b"));
  EXPECT_EQ(out.rfind("get command failed(fetch data)\nDownload 0.0 KB ", 0), 0u) << out;
  EXPECT_EQ(read_bytes(dir / "b"), "0123456789");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(Get, ReplacesAnExistingTargetKeepingItsPermissions) {
  TempDir dir;
  write_file(dir / "t", "a much longer old content");
  std::filesystem::permissions(dir / "t", std::filesystem::perms(0640));
  FakeProxy p;
  p.ready().ready().status(0, 3).reply("new");
  p.run(cmd_get, "get a " + (dir / "t"));
  EXPECT_EQ(read_bytes(dir / "t"), "new");
  EXPECT_EQ(std::filesystem::status(dir / "t").permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(dir.entries(), std::set<std::string>{"t"});
}

TEST(Get, WritesThroughASymbolicLink) {
  TempDir dir;
  write_file(dir / "real", "old");
  std::filesystem::create_symlink(dir / "real", dir / "link");
  FakeProxy p;
  p.ready().ready().status(0, 3).reply("new");
  p.run(cmd_get, "get a " + (dir / "link"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(read_bytes(dir / "real"), "new");
  EXPECT_EQ(dir.entries(), (std::set<std::string>{"link", "real"}));
}

// A device or pipe is written in place: replacing it with a file would break it, and there is
// nothing in it to keep.
TEST(Get, APipeIsWrittenInPlace) {
  TempDir dir;
  std::string fifo = dir / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Holding a write end keeps the reader from waiting forever if the shell never opens it.
  // The read end is open before the shell runs: a reader that opened only after keep_open
  // was closed would find the pipe's data gone and wait for a writer for ever.
  int keep_open = open(fifo.c_str(), O_RDWR);
  ASSERT_GE(keep_open, 0);
  int read_end = open(fifo.c_str(), O_RDONLY);
  ASSERT_GE(read_end, 0);
  std::string seen;
  std::thread reader([&] {
    char buffer[256];
    for (ssize_t n; (n = read(read_end, buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
    close(read_end);
  });
  FakeProxy p;
  p.ready().ready().status(0, 5).reply("hello");
  std::string out = p.run(cmd_get, "get a " + fifo);
  close(keep_open);
  reader.join();
  EXPECT_EQ(out.rfind("Download 0.0 KB ", 0), 0u) << out;
  EXPECT_EQ(seen, "hello");
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(dir.entries(), std::set<std::string>{"pipe"});
}

// Whatever goes wrong, the target keeps what it held (or stays absent) and no temporary
// file is left beside it.
TEST(Get, AFailedDownloadLeavesTheTargetAsItWas) {
  struct Case {
    const char* name;
    void (*script)(FakeProxy& p);
    const char* out;
  } cases[] = {
      {"command refused", [](FakeProxy& p) { p.ready(5); },
       "ERROR: invalid parameter \nput command failed rcv cmd errcode = 5\n"},
      {"name refused", [](FakeProxy& p) { p.ready().ready(30); },
       "ERROR: invalid path \nput command failed errcode = 30\n"},
      {"bad status", [](FakeProxy& p) { p.ready().ready().status(9, 1000); },
       "ERROR: file does not exist \nput command failed errcode = 9\n"},
      {"no status", [](FakeProxy& p) { p.ready().ready(); },
       "ERROR: DX proxy program closed the connection\n"
       "ERROR: invalid error code \nput command failed errcode = -1\n"},
      {"connection lost mid-transfer",
       [](FakeProxy& p) { p.ready().ready().status(0, 40000).reply(patterned(16384)); },
       "ERROR: DX proxy program closed the connection\nget command failed(fetch data)\n"},
  };
  for (const Case& k : cases) {
    for (bool existed : {true, false}) {
      SCOPED_TRACE(std::string(k.name) + (existed ? ", target existed" : ", no target"));
      TempDir dir;
      if (existed) write_file(dir / "t", "precious");
      FakeProxy p;
      k.script(p);
      p.hang_up();
      EXPECT_EQ(p.run(cmd_get, "get a " + (dir / "t")), k.out);
      EXPECT_EQ(read_bytes(dir / "t"), existed ? "precious" : "<missing>");
      EXPECT_EQ(dir.entries().size(), existed ? 1u : 0u);
      EXPECT_EQ(p.unread(), 0u);
    }
  }
}

TEST(Get, ATargetThatCannotBeWrittenStopsBeforeTheProxyIsContacted) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  for (std::string target : {dir / "no/such/dir/x", dir / "folder"}) {
    FakeProxy p;
    p.ready().ready().status(0, 0);
    EXPECT_EQ(p.run(cmd_get, "get a " + target), "Cannot open PC file " + target + "\n");
    EXPECT_EQ(p.sent(), "");
  }
  EXPECT_EQ(dir.entries(), std::set<std::string>{"folder"});
  FakeProxy p;
  EXPECT_EQ(p.run(cmd_get, "get onlyone"), "INVALID cmd parameters\n");
  EXPECT_EQ(p.sent(), "");
}

// The file-size limit stands in for a full disk: writes past it fail with EFBIG. Runs in a
// child process so the limit stays there.
bool get_past_file_size_limit(const std::string& dir) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{20000, 20000};
  setrlimit(RLIMIT_FSIZE, &limit);
  FakeProxy p;
  p.ready().ready().status(0, 40000);
  std::string data = patterned(40000);
  p.reply(data.substr(0, 16384)).reply(data.substr(16384, 16384)).reply(data.substr(32768));
  std::string target = dir + "/t";
  std::string out = p.run(cmd_get, "get a " + target);
  fprintf(stderr, "%s", out.c_str());
  return out == "Cannot write PC file " + target + ": File too large\n" && p.unread() == 0 &&
         read_bytes(target) == "precious" && std::filesystem::file_size(target) == 8 &&
         testing::names_in(dir).size() == 1;
}

TEST(Get, AWriteErrorIsReportedAndTheTransferIsReadToItsEnd) {
  TempDir dir;
  write_file(dir / "t", "precious");
  std::string path = dir / "";
  path.pop_back();
  EXPECT_EXIT(std::_Exit(get_past_file_size_limit(path) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

// The link's own failure lines come in the middle of a transfer, before the command can
// finish its meter: they erase a drawn line first instead of being appended to it.
TEST(Get, ALinkFailureLineErasesADrawnProgressLine) {
  FakeProxy p;
  Shell& c = p.shell();
  c.progress.out = tmpfile();
  c.progress.shown = true;  // as if the meter had drawn its line
  p.ready().ready().status(0, 40000).reply(std::string(16384, 'x')).hang_up();

  std::string out = p.run(cmd_get, "get big.bin /dev/null");

  EXPECT_EQ(out,
            "ERROR: DX proxy program closed the connection\n"
            "get command failed(fetch data)\n");
  EXPECT_EQ(read_stream(c.progress.out), "\r\033[K");
  EXPECT_FALSE(c.progress.shown);
  fclose(c.progress.out);
  c.progress.out = nullptr;
}

}  // namespace
}  // namespace rq
