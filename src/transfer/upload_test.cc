// put against the scripted proxy: the command message, the put payload, chunks paced by a
// grant before every second chunk, the final status and the rate report; refusals at each
// step; and local files that cannot be sent whole.
#include "transfer/upload.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fake_proxy.h"
#include "support/files.h"
#include "transfer/rate_report.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::le32;
using testing::patterned;
using testing::TempDir;
using testing::wire_matches;
using testing::write_file;

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

    std::string out = p.run(cmd_put, "put " + (dir / "local.bin") + " dev/a.bin");

    EXPECT_EQ(out.rfind(std::string("Download ") + k.kilobytes + " KB ", 0), 0u) << out;
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 2 + k.chunks.size());
    if (f.size() != 2 + k.chunks.size()) continue;
    // Command message: code 9, value = 4 + name + zero.
    EXPECT_TRUE(wire_matches("41 67 00 08 09 xx xx xx 0e 00 00 00", f[0])) << hex(f[0]);
    EXPECT_EQ(f[1], testing::frame(le32(static_cast<int32_t>(k.size)) + "dev/a.bin" +
                                   std::string(1, '\0')));
    size_t offset = 0;
    for (size_t i = 0; i < k.chunks.size(); ++i) {
      EXPECT_EQ(f[2 + i], testing::frame(data.substr(offset, k.chunks[i]))) << "chunk " << i;
      offset += k.chunks[i];
    }
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Put, QuotedLocalNameAndDeviceNameWithBlanks) {
  TempDir dir;
  write_file(dir / "my file.bin", "abc");
  FakeProxy p;
  p.ready().ready().status(0).status(0);
  std::string out = p.run(cmd_put, "put \"" + (dir / "my file.bin") + "\"new name");
  EXPECT_EQ(out.rfind("Download 0.0 KB ", 0), 0u) << out;
  auto f = p.sent_frames();
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[1], testing::frame(le32(3) + "new name" + std::string(1, '\0')));
  EXPECT_EQ(f[2], testing::frame("abc"));
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
    EXPECT_EQ(p.run(cmd_put, "put " + (dir / "f") + " g"), k.out);
    EXPECT_EQ(p.sent_frames().size(), k.frames_sent);
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(Put, ALostConnectionEndsTheUploadAsFailed) {
  TempDir dir;
  write_file(dir / "f", patterned(40000));
  FakeProxy p;
  p.ready().ready().status(0).hang_up();
  EXPECT_EQ(p.run(cmd_put, "put " + (dir / "f") + " g"),
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
    EXPECT_EQ(p.run(cmd_put, k.line), k.out) << k.line;
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
  std::string out = p.run(cmd_put, "put " + attr + " x");
  EXPECT_EQ(out.rfind("Cannot read PC file " + attr + ": only ", 0), 0u) << out;
  EXPECT_EQ(p.sent(), "");
}

#if !defined(__SANITIZE_ADDRESS__)
bool put_under_memory_limit(const std::string& path) {
  rlimit limit{1u << 30, 1u << 30};
  setrlimit(RLIMIT_AS, &limit);
  FakeProxy p;
  p.ready().ready().status(0);
  std::string out = p.run(cmd_put, "put " + path + " x");
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

}  // namespace
}  // namespace rq
