// The session handler against hand-written shell frames: the ready rule, the status rule and
// the chunk patterns of each exchange, as the shell plays them.
#include "session.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "device_status.h"
#include "test_shell.h"

namespace rq::sim {
namespace {

using testing::FakeShell;
using testing::frame;
using testing::message;
using testing::patterned;
using testing::put_payload;
using testing::ready;
using testing::with_zero;

TEST(Session, AnswersTheStartupPingThenSendsAReadyAheadOfEveryCommand) {
  FakeShell sh;
  sh.send_message(kCmdPing, 41);  // sent without waiting for a ready
  EXPECT_EQ(sh.receive(), message(0, 42));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPwd);
  EXPECT_EQ(sh.receive(), message(0, 2));
  EXPECT_EQ(sh.receive(), with_zero("/"));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPing, 1);
  EXPECT_EQ(sh.receive(), message(0, 2));
  EXPECT_EQ(sh.receive(), ready());
}

TEST(Session, WithoutAStartupPingTheFirstReadyFollowsAfterAShortWait) {
  FakeShell sh;
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdCd, 5);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("nope"));
  EXPECT_EQ(sh.receive(), message(kStatusMissing));
}

TEST(Session, PutOf40000BytesTakesAGrantBeforeEverySecondChunk) {
  FakeShell sh;
  sh.root.write("/data.bin", "old contents");
  ASSERT_TRUE(sh.start());
  std::string data = patterned(40000);
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPut, 4 + 9 + 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(put_payload(40000, "/data.bin"));
  EXPECT_EQ(sh.receive(), message(0));  // grant for chunks 0 and 1
  sh.send(data.substr(0, 16384));
  sh.send(data.substr(16384, 16384));
  EXPECT_EQ(sh.receive(), message(0));  // grant for chunk 2
  sh.send(data.substr(32768));
  EXPECT_EQ(sh.receive(), message(0, 40000));
  EXPECT_EQ(sh.receive(), ready());
  EXPECT_EQ(sh.root.read(sh.root.host("/data.bin")), data);
  EXPECT_EQ(sh.root.names(sh.root.root()), "data.bin");
}

// The file-size limit stands in for a full disk: writes past 40000 bytes fail. rqsim grants
// each pair before writing it, so the failed write of chunks 2 and 3 shows at the grant for
// chunks 6 and 7, and no file is left. Runs in a child process so the limit stays there.
bool put_past_file_size_limit() {
  signal(SIGXFSZ, SIG_IGN);
  FakeShell sh;
  rlimit limit{40000, 40000};
  setrlimit(RLIMIT_FSIZE, &limit);
  std::string data = patterned(8 * 16384);
  std::vector<std::string> seen;
  if (!sh.start()) return false;
  seen.push_back(sh.receive());
  sh.send_message(kCmdPut, 4 + 4 + 1);
  seen.push_back(sh.receive());
  sh.send(put_payload(static_cast<int32_t>(data.size()), "full"));
  seen.push_back(sh.receive());
  for (size_t pair = 0; pair < 3; ++pair) {
    sh.send(data.substr(pair * 32768, 16384));
    sh.send(data.substr(pair * 32768 + 16384, 16384));
    seen.push_back(sh.receive());
  }
  seen.push_back(sh.receive());
  const std::vector<std::string> expected = {
      ready(), ready(), message(0), message(0), message(0), message(kStatusFsError), ready()};
  for (size_t i = 0; i < expected.size(); ++i)
    if (i >= seen.size() || seen[i] != expected[i]) {
      fprintf(stderr, "frame %zu is not the one expected\n", i);
      return false;
    }
  return sh.root.names(sh.root.root()).empty();
}

TEST(Session, AFailedUploadWriteShowsAtTheGrantAfterNext) {
  EXPECT_EXIT(std::_Exit(put_past_file_size_limit() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(Session, PutOfAnEmptyFileAndGetStreamWholeFrames) {
  FakeShell sh;
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPut, 4 + 5 + 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(put_payload(0, "empty"));
  EXPECT_EQ(sh.receive(), message(0, 0));  // the final status at once
  EXPECT_EQ(sh.receive(), ready());

  sh.send_message(kCmdGet, 6);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("empty"));
  EXPECT_EQ(sh.receive(), message(0, 0));  // no data frames
  EXPECT_EQ(sh.receive(), ready());

  std::string data = patterned(40000, 3);
  sh.root.write("/big", data);
  sh.send_message(kCmdGet, 4);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("big"));
  EXPECT_EQ(sh.receive(), message(0, 40000));
  EXPECT_EQ(sh.receive(), data.substr(0, 16384));
  EXPECT_EQ(sh.receive(), data.substr(16384, 16384));
  EXPECT_EQ(sh.receive(), data.substr(32768));
  EXPECT_EQ(sh.receive(), ready());
}

TEST(Session, ReadBootSendsAStatusAfterEveryChunkButTheLast) {
  FakeShell sh;
  std::string image = patterned(40000, 9);
  FILE* f = fopen((sh.root.boot_dir() + "/boot2.img").c_str(), "wb");
  fwrite(image.data(), 1, image.size(), f);
  fclose(f);
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdReadBoot, 0, 2);
  EXPECT_EQ(sh.receive(), message(0, 40000));
  EXPECT_EQ(sh.receive(), image.substr(0, 16384));
  EXPECT_EQ(sh.receive().substr(0, 1), std::string(1, '\0'));
  EXPECT_EQ(sh.receive(), image.substr(16384, 16384));
  EXPECT_EQ(sh.receive().substr(0, 1), std::string(1, '\0'));
  EXPECT_EQ(sh.receive(), image.substr(32768));
  EXPECT_EQ(sh.receive(), ready());

  sh.send_message(kCmdReadBoot, 0, 3);  // never written
  EXPECT_EQ(sh.receive(), message(0, 0));
  EXPECT_EQ(sh.receive(), ready());
}

TEST(Session, WriteBootShortensTheFirstChunkOfBoots2And3ByTheReduction) {
  FakeShell sh;
  ASSERT_TRUE(sh.start());
  std::string image = patterned(40000, 5);
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdWriteBoot, 40000, 3);
  EXPECT_EQ(sh.receive(), message(0, 512));
  size_t offsets[] = {0, 15872, 32256, 40000};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sh.receive(), ready());
    sh.send(image.substr(offsets[i], offsets[i + 1] - offsets[i]));
  }
  EXPECT_EQ(sh.receive(), ready());  // no status after the data: the next command's ready

  sh.send_message(kCmdWriteBoot, 3, 1);  // boot 1: no status at all
  EXPECT_EQ(sh.receive(), ready());
  sh.send("abc");
  EXPECT_EQ(sh.receive(), ready());
  EXPECT_EQ(sh.root.read(sh.root.boot_dir() + "/boot3.img"), image);
  EXPECT_EQ(sh.root.read(sh.root.boot_dir() + "/boot1.img"), "abc");
}

TEST(Session, AReductionNoFrameCanHonourEndsTheWriteAfterItsStatus) {
  SimOptions o;
  o.reduction = 16384;
  FakeShell sh(o);
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdWriteBoot, 40000, 2);
  EXPECT_EQ(sh.receive(), message(0, 16384));
  EXPECT_EQ(sh.receive(), ready());  // the next command's: the shell sends no data
  sh.send_message(kCmdPwd);
  EXPECT_EQ(sh.receive(), message(0, 2));
  EXPECT_FALSE(sh.root.exists(sh.root.boot_dir() + "/boot2.img"));
}

// The audio dialogue with the answers a, y, r, p, y: every go message has its ready, and the
// final status follows the playback status with nothing from the shell in between.
TEST(Session, AudioDialogueRunsToItsFinalStatus) {
  FakeShell sh;
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdDiag, 0, kDiagAudio);
  for (int stage = 0; stage < 3; ++stage) {
    EXPECT_EQ(sh.receive(), ready());
    sh.send_message(kCmdAudioGo);
    EXPECT_EQ(sh.receive(), message(0));
  }
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), ready());
}

TEST(Session, AudioDialogueEndsWhereTheOperatorLeavesIt) {
  FakeShell sh;
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  // c at the first prompt: a status follows the cancel too. Then "n" to the tone question:
  // the shell is done, and its next command takes the ready meant for the record prompt.
  sh.send_message(kCmdDiag, 0, kDiagAudio);
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdAudioCancel);
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPwd);
  EXPECT_EQ(sh.receive(), message(0, 2));
  EXPECT_EQ(sh.receive(), with_zero("/"));

  // a, y, then c at the record prompt: no status; the next ready is the next command's.
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdDiag, 0, kDiagAudio);
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdAudioGo);
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdAudioCancel);
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdDiag, 0, kDiagFlash);
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), ready());
}

// Frames of the wrong length or layout get status 5 where the shell waits for a status, and
// the session stays in step for the next command.
TEST(Session, MalformedFramesAreAnsweredInStep) {
  FakeShell sh;
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdMkdir, 5);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("ab"));  // 3 bytes where 5 were announced
  EXPECT_EQ(sh.receive(), message(kStatusInvalidParameter));

  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdMkdir, 4);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(std::string("a\0b\0", 4));  // a zero inside the path
  EXPECT_EQ(sh.receive(), message(kStatusInvalidPath));

  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdCd, 20000);  // no frame can carry that: the path's ready refuses
  EXPECT_EQ(sh.receive(), message(kStatusInvalidParameter));

  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdMv, 5);
  EXPECT_EQ(sh.receive(), ready());
  std::string oversize(4, '\0');
  put_frame_header(reinterpret_cast<uint8_t*>(oversize.data()), 20000);
  sh.send_raw(oversize + std::string(20000, 'x'));  // skipped whole
  EXPECT_EQ(sh.receive(), message(kStatusInvalidParameter));

  EXPECT_EQ(sh.receive(), ready());
  sh.send("short");  // not a command message
  EXPECT_EQ(sh.receive(), message(kStatusInvalidParameter));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPwd);
  EXPECT_EQ(sh.receive(), message(0, 2));
  EXPECT_EQ(sh.root.names(sh.root.root()), "");
}

TEST(Session, AShellVanishingMidUploadLeavesNoFileBehind) {
  FakeShell sh;
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPut, 4 + 4 + 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(put_payload(2147483647, "huge"));
  EXPECT_EQ(sh.receive(), message(0));
  sh.send(patterned(16384));
  sh.send(patterned(1000));  // half a frame's worth of a second chunk, then gone
  sh.leave();
  EXPECT_EQ(sh.root.names(sh.root.root()), "");
}

// A put of 40000 bytes over an existing file, cut at different points. Written in place, the
// target holds the chunks that arrived whole; written atomically, the old file stays whole.
TEST(Session, PutInPlaceLeavesWhatArrivedWhereAtomicPutLeavesTheOldFile) {
  struct Row {
    const char* name;
    std::vector<const char*> args;
    size_t whole_chunks;    // sent whole, in order
    bool leaves_mid_chunk;  // then half a chunk, and the shell is gone
    std::string answer;     // after the chunks, unless the shell left
    size_t kept;            // bytes of the new data the file holds; npos: the old file
  };
  const std::string kClosed = "<closed>";
  const Row rows[] = {
      {.name = "complete",
       .args = {"--put-in-place"},
       .whole_chunks = 3,
       .leaves_mid_chunk = false,
       .answer = message(0, 40000),
       .kept = 40000},
      {.name = "refused grant",
       .args = {"--put-in-place", "--refuse", "put:4=8"},
       .whole_chunks = 2,
       .leaves_mid_chunk = false,
       .answer = message(8),
       .kept = 32768},
      {.name = "dropped",
       .args = {"--put-in-place", "--drop", "put:20000"},
       .whole_chunks = 2,
       .leaves_mid_chunk = false,
       .answer = kClosed,
       .kept = 32768},
      {.name = "shell left",
       .args = {"--put-in-place"},
       .whole_chunks = 1,
       .leaves_mid_chunk = true,
       .answer = "",
       .kept = 16384},
      {.name = "forced status",
       .args = {"--put-in-place", "--status", "put=3"},
       .whole_chunks = 3,
       .leaves_mid_chunk = false,
       .answer = message(3, 40000),
       .kept = std::string::npos},
      {.name = "atomic, dropped",
       .args = {"--drop", "put:20000"},
       .whole_chunks = 2,
       .leaves_mid_chunk = false,
       .answer = kClosed,
       .kept = std::string::npos},
      {.name = "atomic, shell left",
       .args = {},
       .whole_chunks = 1,
       .leaves_mid_chunk = true,
       .answer = "",
       .kept = std::string::npos},
  };
  const std::string data = patterned(40000, 4);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<char*> argv = {const_cast<char*>("rqsim")};
    for (const char* a : row.args) argv.push_back(const_cast<char*>(a));
    SimOptions o;
    EXPECT_EQ(parse_sim_options(static_cast<int>(argv.size()), argv.data(), o, stdout, stderr), 0);
    FakeShell sh(o);
    sh.root.write("/data.bin", "old contents");
    struct stat before {};
    stat(sh.root.host("/data.bin").c_str(), &before);
    if (!sh.start()) {
      ADD_FAILURE() << "no answer to the start-up ping";
      continue;
    }
    EXPECT_EQ(sh.receive(), ready());
    sh.send_message(kCmdPut, 4 + 8 + 1);
    EXPECT_EQ(sh.receive(), ready());
    sh.send(put_payload(40000, "data.bin"));
    EXPECT_EQ(sh.receive(), message(0));
    for (size_t i = 0; i < row.whole_chunks; ++i) {
      sh.send(data.substr(i * 16384, 16384));
      if (i == 1 && row.whole_chunks > 2) {
        EXPECT_EQ(sh.receive(), message(0));
      }
    }
    if (row.leaves_mid_chunk) {
      sh.send_raw(frame(data.substr(0, 16384)).substr(0, 5000));
    } else {
      EXPECT_EQ(sh.receive(), row.answer);
    }
    sh.leave();

    std::string path = sh.root.host("/data.bin");
    std::string got = sh.root.read(path);
    std::string want = row.kept == std::string::npos ? "old contents" : data.substr(0, row.kept);
    EXPECT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << "the file holds other bytes";
    EXPECT_EQ(sh.root.names(sh.root.root()), "data.bin");  // no temporary file left
    struct stat after {};
    stat(path.c_str(), &after);
    if (row.kept != std::string::npos) {
      EXPECT_EQ(after.st_ino, before.st_ino) << "not written in place";
    }
  }
}

TEST(Session, AnUploadChunkOfTheWrongLengthDropsTheLink) {
  FakeShell sh;
  sh.root.write("/keep", "kept");
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPut, 4 + 4 + 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(put_payload(40000, "keep"));
  EXPECT_EQ(sh.receive(), message(0));
  sh.send(patterned(100));
  EXPECT_EQ(sh.receive(), "<closed>");
  EXPECT_EQ(sh.root.read(sh.root.host("/keep")), "kept");
  EXPECT_EQ(sh.root.names(sh.root.root()), "keep");
  EXPECT_NE(sh.log().find("wrong length"), std::string::npos);
}

TEST(Session, LaunchLogsTheResolvedPath) {
  FakeShell sh;
  sh.root.mkdir("/bin");
  sh.root.write("/bin/app.elf",
                "\x7f"
                "ELF");
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdCd, 4);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("bin"));
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdLaunch, 10);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("./app.elf"));
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), ready());
  EXPECT_NE(sh.log().find("rqsim: launched /bin/app.elf\n"), std::string::npos);
}

}  // namespace
}  // namespace rq::sim
