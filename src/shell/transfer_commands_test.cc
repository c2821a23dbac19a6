#include "shell/transfer_commands.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_proxy.h"
#include "support/files.h"

namespace rq {
namespace {

using testing::data_frame_patterns;
using testing::FakeProxy;
using testing::frame;
using testing::frames_mismatch;
using testing::hex;
using testing::patterned;
using testing::put_payload;
using testing::read_bytes;
using testing::read_stream;
using testing::TempDir;
using testing::with_zero;
using testing::write_file;

// put against the scripted proxy: the command message, the put payload, chunks paced by a
// grant before every second chunk, the final status and the rate report; refusals at each
// step; and local files that cannot be sent whole.
TEST(Put, SendsChunksWithAGrantBeforeEverySecondOne) {
  struct Case {
    size_t size;
    std::vector<size_t> chunks;
    const char* kilobytes;
  } cases[] = {
      {40000, {16384, 16384, 7232}, "39.1"},
      {16384, {16384}, "16.0"},
      {16385, {16384, 1}, "16.0"},
      {0, {}, "0.0"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.size);
    TempDir dir;
    std::string data = patterned(k.size);
    write_file(dir / "local.bin", data);
    FakeProxy p;
    p.ready().ready();
    for (size_t i = 0; i < k.chunks.size(); i += 2) p.status(0, 12345);  // value not examined
    p.status(0).hang_up();  // the final status; reading one more message would fail

    std::string out = p.run("put " + (dir / "local.bin") + " dev/a.bin");

    EXPECT_EQ(out.rfind(std::string("Download ") + k.kilobytes + " KB ", 0), 0u) << out;
    std::vector<std::string> sent = data_frame_patterns(data, k.chunks);
    // Command message: code 9, value = 4 + name + zero.
    sent.insert(sent.begin(), {"41 67 00 08 09 xx xx xx 0e 00 00 00",
                               hex(frame(put_payload(static_cast<int32_t>(k.size), "dev/a.bin")))});
    EXPECT_EQ(frames_mismatch(sent, p.sent_frames()), "");
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Put, QuotedLocalNameAndDeviceNameWithBlanks) {
  TempDir dir;
  write_file(dir / "my file.bin", "abc");
  FakeProxy p;
  p.ready().ready().status(0).status(0);
  std::string out = p.run("put \"" + (dir / "my file.bin") + "\"new name");
  EXPECT_EQ(out.rfind("Download 0.0 KB ", 0), 0u) << out;
  EXPECT_EQ(frames_mismatch({"41 67 00 08 09 xx xx xx 0d 00 00 00",
                             hex(frame(put_payload(3, "new name"))), hex(frame("abc"))},
                            p.sent_frames()),
            "");
}

TEST(Put, EveryRefusalEndsTheUploadWithItsOwnLine) {
  struct Case {
    const char* name;
    std::vector<int> codes;  // ready, ready, grant, (grant,) final status as scripted
    size_t frames_sent;
    const char* out;
  } cases[] = {
      {"command refused",
       {5},
       0,
       "ERROR: invalid parameter \nput command failed rcv cmd errcode = 5\n"},
      {"payload refused",
       {0, 7},
       1,
       "ERROR: file already exists \nput command failed errcode = 7\n"},
      {"first grant refused",
       {0, 0, 3},
       2,
       "ERROR: access failed \nput command failed errcode(write data) = 3\n"},
      {"second grant refused",
       {0, 0, 0, 8},
       4,
       "ERROR: ran out of inodes \nput command failed errcode(write data) = 8\n"},
      {"final status",
       {0, 0, 0, 0, 4},
       5,
       "ERROR: file corrupted \nput command failed errcode(write data) = 4\n"},
      {"status byte 0xFF",
       {0, 0, 0, 0, -1},
       5,
       "ERROR: invalid error code \nput command failed errcode(write data) = -1\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TempDir dir;
    write_file(dir / "f", patterned(40000));
    FakeProxy p;
    for (int code : k.codes) p.status(code);
    p.hang_up();
    EXPECT_EQ(p.run("put " + (dir / "f") + " g"), k.out);
    EXPECT_EQ(p.sent_frames().size(), k.frames_sent);
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Put, ALostConnectionEndsTheUploadAsFailed) {
  TempDir dir;
  write_file(dir / "f", patterned(40000));
  FakeProxy p;
  p.ready().ready().status(0).hang_up();
  EXPECT_EQ(p.run("put " + (dir / "f") + " g"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \nput command failed errcode(write data) = -1\n");
  EXPECT_EQ(p.sent_frames().size(), 4u);
}

// A file that cannot be sent whole is refused before the proxy hears anything of it.
TEST(Put, LocalFileProblemsSendNothing) {
  TempDir dir;
  std::error_code ec;
  std::filesystem::create_directory(dir / "folder", ec);
  // Sparse: one byte more than the signed 32-bit size field can announce.
  write_file(dir / "huge", "");
  std::filesystem::resize_file(dir / "huge", 0x80000000ull, ec);
  ASSERT_FALSE(ec) << ec.message();
  struct Case {
    std::string line;
    std::string out;
  } cases[] = {
      {"put " + (dir / "missing") + " x", "Cannot open PC file " + (dir / "missing") + "\n"},
      {"put " + (dir / "folder") + " x",
       "Cannot read PC file " + (dir / "folder") + ": Is a directory\n"},
      {"put " + (dir / "huge") + " x", "PC file " + (dir / "huge") +
                                           " is too large: 2147483648 bytes, at most "
                                           "2147483647 can be sent\n"},
      {"put onlyone", "INVALID cmd parameters\n"},
      {"put \"unclosed x", "INVALID cmd parameters\n"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0);
    EXPECT_EQ(p.run(k.line), k.out) << k.line;
    EXPECT_EQ(p.sent(), "") << k.line;
  }
}

// Files whose announced size exceeds what they yield (kernel attribute files report a
// page) must not send an announced size the data cannot meet.
TEST(Put, AShortReadSendsNothing) {
  const std::string attr = "/sys/kernel/mm/transparent_hugepage/enabled";
  std::error_code ec;
  if (std::filesystem::file_size(attr, ec) <= testing::read_bytes(attr).size() || ec)
    GTEST_SKIP() << "no file here reports more bytes than it yields";
  FakeProxy p;
  p.ready().ready().status(0);
  std::string out = p.run("put " + attr + " x");
  EXPECT_EQ(out.rfind("Cannot read PC file " + attr + ": only ", 0), 0u) << out;
  EXPECT_EQ(p.sent(), "");
}

#if !defined(__SANITIZE_ADDRESS__)
bool put_under_memory_limit(const std::string& path) {
  rlimit limit{1u << 30, 1u << 30};
  setrlimit(RLIMIT_AS, &limit);
  FakeProxy p;
  p.ready().ready().status(0);
  std::string out = p.run("put " + path + " x");
  fprintf(stderr, "%s", out.c_str());
  return out == "Not enough memory to hold PC file " + path + " (2147483647 bytes)\n" &&
         p.sent().empty();
}
#endif

TEST(Put, AFileThatDoesNotFitInMemoryIsRefused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more than the limit this test sets";
#else
  TempDir dir;
  write_file(dir / "big", "");
  std::error_code ec;
  std::filesystem::resize_file(dir / "big", 0x7FFFFFFF, ec);
  ASSERT_FALSE(ec) << ec.message();
  std::string path = dir / "big";
  // In a child process, so the address-space limit stays there.
  EXPECT_EXIT(std::_Exit(put_under_memory_limit(path) ? 0 : 1), ::testing::ExitedWithCode(0), "");
#endif
}

// get against the scripted proxy: the request, data frames of any length, the rate report,
// and a target that is replaced only by a download that succeeded in full.
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

    std::string out = p.run("get dev/a.txt " + (dir / "out.bin"));

    EXPECT_EQ(out.rfind(k.report, 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    EXPECT_EQ(read_bytes(dir / "out.bin"), data);
    EXPECT_EQ(dir.entries(), std::set<std::string>{"out.bin"});
    EXPECT_EQ(
        frames_mismatch({"41 67 00 08 0a xx xx xx 0a 00 00 00", hex(frame(with_zero("dev/a.txt")))},
                        p.sent_frames()),
        "");
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Get, AnEmptyFrameIsReportedAndTheDownloadGoesOn) {
  TempDir dir;
  FakeProxy p;
  p.ready().ready().status(0, 10).reply("").reply("0123456789");
  std::string out = p.run("get a " + (dir / "b"));
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
  p.run("get a " + (dir / "t"));
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
  p.run("get a " + (dir / "link"));
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
  std::string out = p.run("get a " + fifo);
  close(keep_open);
  reader.join();
  EXPECT_EQ(out.rfind("Download 0.0 KB ", 0), 0u) << out;
  EXPECT_EQ(seen, "hello");
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(dir.entries(), std::set<std::string>{"pipe"});
}

// Whatever goes wrong in get or rb, the target keeps what it held (or stays absent) and no
// temporary file is left beside it.
TEST(Download, AFailedDownloadLeavesTheTargetAsItWas) {
  struct Case {
    const char* name;
    const char* command;  // the target's name follows
    void (*script)(FakeProxy& p);
    const char* out;
  } cases[] = {
      {"get: command refused", "get a ", [](FakeProxy& p) { p.ready(5); },
       "ERROR: invalid parameter \nput command failed rcv cmd errcode = 5\n"},
      {"get: name refused", "get a ", [](FakeProxy& p) { p.ready().ready(30); },
       "ERROR: invalid path \nput command failed errcode = 30\n"},
      {"get: bad status", "get a ", [](FakeProxy& p) { p.ready().ready().status(9, 1000); },
       "ERROR: file does not exist \nput command failed errcode = 9\n"},
      {"get: no status", "get a ", [](FakeProxy& p) { p.ready().ready(); },
       "ERROR: DX proxy program closed the connection\n"
       "ERROR: invalid error code \nput command failed errcode = -1\n"},
      {"get: connection lost mid-transfer", "get a ",
       [](FakeProxy& p) { p.ready().ready().status(0, 40000).reply(patterned(16384)); },
       "ERROR: DX proxy program closed the connection\nget command failed(fetch data)\n"},
      {"rb: command refused", "rb 3 ", [](FakeProxy& p) { p.ready(5); },
       "ERROR: invalid parameter \nput command failed rcv cmd errcode = 5\n"},
      {"rb: bad size status", "rb 3 ", [](FakeProxy& p) { p.ready().status(1, 40000); },
       "ERROR: usb bus error \nrb command failed errcode = 1\n"},
      {"rb: bad status between chunks", "rb 3 ",
       [](FakeProxy& p) { p.ready().status(0, 40000).reply(patterned(16384)).status(4); },
       "ERROR: file corrupted \nrb command failed errcode = 4\n"},
      {"rb: connection lost between chunks", "rb 3 ",
       [](FakeProxy& p) { p.ready().status(0, 40000).reply(patterned(16384)); },
       "ERROR: DX proxy program closed the connection\n"
       "ERROR: invalid error code \nrb command failed errcode = -1\n"},
      {"rb: connection lost instead of a chunk", "rb 3 ",
       [](FakeProxy& p) { p.ready().status(0, 40000); },
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
      EXPECT_EQ(p.run(k.command + (dir / "t")), k.out);
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
    EXPECT_EQ(p.run("get a " + target), "Cannot open PC file " + target + "\n");
    EXPECT_EQ(p.sent(), "");
  }
  EXPECT_EQ(dir.entries(), std::set<std::string>{"folder"});
  FakeProxy p;
  EXPECT_EQ(p.run("get onlyone"), "INVALID cmd parameters\n");
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
  std::string out = p.run("get a " + target);
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

  std::string out = p.run("get big.bin /dev/null");

  EXPECT_EQ(out,
            "ERROR: DX proxy program closed the connection\n"
            "get command failed(fetch data)\n");
  EXPECT_EQ(read_stream(c.progress.out), "\r\033[K");
  EXPECT_FALSE(c.progress.shown);
  fclose(c.progress.out);
  c.progress.out = nullptr;
}

TEST(RateReport, KeepsTheDeviceToolsArithmetic) {
  struct Case {
    int64_t count;
    int64_t elapsed_ms;
    const char* line;
  } cases[] = {
      {1048576, 2500, "Download 1024.0 KB 2.5 sec 419.4 KB/s\n"},
      // The size is divided as a floating-point number.
      {40000, 1000, "Download 39.1 KB 1.0 sec 40.0 KB/s\n"},
      // 250 ms through the single-precision factor is just above 0.25.
      {1000, 250, "Download 1.0 KB 0.3 sec 4.0 KB/s\n"},
      {0, 1234, "Download 0.0 KB 1.2 sec 0.0 KB/s\n"},
      // get reports the size the proxy announced, even a negative one.
      {-5, 1000, "Download -0.0 KB 1.0 sec -0.0 KB/s\n"},
      // Whole seconds and milliseconds are added separately: 61 s 5 ms.
      {61005, 61005, "Download 59.6 KB 61.0 sec 1.0 KB/s\n"},
  };
  for (const Case& k : cases) {
    char line[128];
    int n = format_rate_report(line, sizeof line, k.count, k.elapsed_ms);
    EXPECT_EQ(std::string(line), k.line) << k.count << " bytes in " << k.elapsed_ms << " ms";
    EXPECT_EQ(n, static_cast<int>(strlen(k.line)));
  }
}

}  // namespace
}  // namespace rq
