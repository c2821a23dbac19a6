// The device file commands against the scripted proxy: what each sends, what it prints, and
// the exact line of every step that can fail.
#include "shell/file_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::frames_mismatch;
using testing::hex;
using testing::le32;

// Every step of every device file command that can fail, with the exact line it prints.
enum Step {
  kCommandRefused,  // the ready message before the command message says 5
  kPayloadRefused,  // the ready message before the path or names says 7
  kBadStatus,       // the status says 30
  kStatusLost,      // the proxy hangs up instead of sending the status
};

struct Case {
  const char* line;
  Step step;
  const char* failure_line;  // the line after "ERROR: <text> \n"
};

const Case kCases[] = {
    {"cd x", kCommandRefused, "cd command failed rcving cmd = 5\n"},
    {"cd x", kPayloadRefused, "cd command failed errcode = 7\n"},
    {"cd x", kBadStatus, "cd command failed errcode = 30\n"},
    {"cd x", kStatusLost, "cd command failed errcode = -1\n"},
    {"mkdir x", kCommandRefused, "mkdir command failed rcv cmd = 5\n"},
    {"mkdir x", kPayloadRefused, "mkdir command failed rcv cmd = 7\n"},
    {"mkdir x", kBadStatus, "mkdir command failed errcode = 30\n"},
    {"mkdir x", kStatusLost, "mkdir command failed errcode = -1\n"},
    {"rm x", kCommandRefused, "rm command failed rcv cmd = 5\n"},
    {"rm x", kPayloadRefused, "rm command failed errcode = 7\n"},
    {"rm x", kBadStatus, "rm command failed errcode = 30\n"},
    {"rm x", kStatusLost, "rm command failed errcode = -1\n"},
    {"launch x", kCommandRefused, "launch command failed rcv cmd errcode = 5\n"},
    {"launch x", kPayloadRefused, "launch command failed errcode = 7\n"},
    {"launch x", kBadStatus, "launch command failed errcode = 30\n"},
    {"launch x", kStatusLost, "launch command failed errcode = -1\n"},
    {"ls x", kCommandRefused, "ls command failed rv cmd = 5\n"},
    {"ls x", kPayloadRefused, "ls command failed errcode = 7\n"},
    {"ls x", kBadStatus, "ls command failed errcode = 30\n"},
    {"ls x", kStatusLost, "ls command failed errcode = -1\n"},
    {"mv a b", kCommandRefused, "mv command failed errcode = 5\n"},
    {"mv a b", kPayloadRefused, "mv command failed errcode = 7\n"},
    {"mv a b", kBadStatus, "mv command failed errcode = 30\n"},
    {"mv a b", kStatusLost, "mv command failed errcode = -1\n"},
    {"cp a b", kCommandRefused, "mv command failed errcode = 5\n"},
    {"cp a b", kPayloadRefused, "mv command failed errcode = 7\n"},
    {"cp a b", kBadStatus, "cp command failed errcode = 30\n"},
    {"cp a b", kStatusLost, "cp command failed errcode = -1\n"},
    {"format", kCommandRefused, "format command failed errcode = 5\n"},
    {"format", kBadStatus, "format command failed errcode = 30\n"},
    {"format", kStatusLost, "format command failed errcode = -1\n"},
    {"pwd", kCommandRefused, "pwd command failed errcode = 5\n"},
    {"pwd", kBadStatus, "pwd command failed errcode = 30\n"},
    {"pwd", kStatusLost, "pwd command failed errcode = -1\n"},
    {"ver", kCommandRefused, "ver command failed errcode = 5\n"},
    {"ver", kBadStatus, "ver command failed errcode = 30\n"},
    {"ver", kStatusLost, "ver command failed errcode = -1\n"},
};

// format, pwd and ver send their command message alone.
bool sends_payload(const std::string& line) {
  return line != "format" && line != "pwd" && line != "ver";
}

TEST(FailureLines, EachStepReportsWithItsOwnLineAndStopsThere) {
  for (const Case& k : kCases) {
    FakeProxy p;
    std::string report;
    size_t frames_sent = 0;
    switch (k.step) {
      case kCommandRefused:
        p.ready(5);
        report = "ERROR: invalid parameter \n";
        break;
      case kPayloadRefused:
        p.ready().ready(7);
        report = "ERROR: file already exists \n";
        frames_sent = 1;
        break;
      case kBadStatus:
      case kStatusLost:
        p.ready();
        if (sends_payload(k.line)) p.ready();
        if (k.step == kBadStatus) {
          p.status(30);
          report = "ERROR: invalid path \n";
        } else {
          p.hang_up();
          report = "ERROR: DX proxy program closed the connection\nERROR: invalid error code \n";
        }
        frames_sent = sends_payload(k.line) ? 2 : 1;
        break;
    }
    std::string where = std::string(k.line) + " step " + std::to_string(k.step);
    EXPECT_EQ(p.run(k.line), report + k.failure_line) << where;
    EXPECT_EQ(p.outcome(), k.step == kStatusLost ? CommandOutcome::kLink : CommandOutcome::kDevice)
        << where;
    EXPECT_EQ(p.sent_frames().size(), frames_sent) << where;
    EXPECT_EQ(p.unread(), 0u) << where;
  }
}

// A status byte from 0x80 up is a negative code; it must still end the command as failed.
TEST(FailureLines, NegativeStatusCodeIsAFailure) {
  FakeProxy p;
  p.ready().ready().status(-1);
  EXPECT_EQ(p.run("mkdir x"), "ERROR: invalid error code \nmkdir command failed errcode = -1\n");
}

// What each command that names paths puts on the wire: the command message (code, value =
// payload length) after the first ready, then after the second the payload: the path with
// its zero, or (mv, cp) both names with their zeros.
TEST(PathCommands, SendCommandMessageThenThePathsWithTheirZeros) {
  using testing::frame;
  struct Case {
    const char* line;
    const char* command_frame;
    std::string payload_frame;
  } cases[] = {
      {"mkdir logs", "41 67 00 08 06 xx xx xx 05 00 00 00", "41 67 00 05 6c 6f 67 73 00"},
      {"launch  game.elf", "41 67 00 08 0b xx xx xx 09 00 00 00",
       "41 67 00 09 67 61 6d 65 2e 65 6c 66 00"},
      {"cd", "41 67 00 08 05 xx xx xx 01 00 00 00", "41 67 00 01 00"},
      // Inner and trailing blanks stay in the path; leading ones and the line end do not.
      {"cd  my dir \n", "41 67 00 08 05 xx xx xx 08 00 00 00",
       "41 67 00 08 6d 79 20 64 69 72 20 00"},
      {"rm\tx\r\n", "41 67 00 08 07 xx xx xx 02 00 00 00", "41 67 00 02 78 00"},
      // The keyword is skipped by its own length, so "rmdir x" removes "dir x".
      {"rmdir x", "41 67 00 08 07 xx xx xx 06 00 00 00", "41 67 00 06 64 69 72 20 78 00"},
      {"mv a.txt b.txt", "41 67 00 08 08 xx xx xx 0c 00 00 00",
       hex(frame(std::string("a.txt\0b.txt\0", 12)))},
      {"cp \"my file\" new name", "41 67 00 08 0c xx xx xx 11 00 00 00",
       hex(frame(std::string("my file\0new name\0", 17)))},
      {"cp \"\" x", "41 67 00 08 0c xx xx xx 03 00 00 00", hex(frame(std::string("\0x\0", 3)))},
      {"mv\ta\t\tb  \n", "41 67 00 08 08 xx xx xx 06 00 00 00",
       hex(frame(std::string("a\0b  \0", 6)))},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0);
    EXPECT_EQ(p.run(k.line), "") << k.line;
    EXPECT_EQ(frames_mismatch({k.command_frame, k.payload_frame}, p.sent_frames()), "") << k.line;
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
}

TEST(PathCommands, ReassembleMessagesArrivingOneByteAtATime) {
  FakeProxy p;
  p.split(true).ready().ready().status(9);
  EXPECT_EQ(p.run("rm gone"), "ERROR: file does not exist \nrm command failed errcode = 9\n");
  EXPECT_EQ(p.sent_frames().size(), 2u);
  EXPECT_EQ(p.unread(), 0u);
}

TEST(RenameCopy, BadArgumentsSendNothing) {
  for (const char* line : {"mv onlyone", "mv a   ", "cp \"a b", "mv", "cp \"a\""}) {
    FakeProxy p;
    EXPECT_EQ(p.run(line), "INVALID cmd parameters\n") << line;
    EXPECT_EQ(p.sent(), "") << line;
  }
}

std::string dir_reply(int32_t count, const std::string& entries, char tag = 'D') {
  return std::string(1, tag) + std::string(3, '\0') + le32(count) + entries;
}

std::string file_reply(int32_t size, int32_t attr) {
  return "F" + std::string(3, '\0') + le32(10) + le32(20) + le32(attr) + le32(0x1a4) + le32(-3) +
         le32(4) + le32(size);
}

TEST(Ls, SendsThePathLikeThePathCommandsThenReadsOneReply) {
  struct Case {
    const char* line;
    const char* command_frame;
    const char* path_frame;
  } cases[] = {
      {"ls /dir", "41 67 00 08 03 xx xx xx 05 00 00 00", "41 67 00 05 2f 64 69 72 00"},
      {"ls", "41 67 00 08 03 xx xx xx 01 00 00 00", "41 67 00 01 00"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    std::string reply = dir_reply(0, "");
    p.ready().ready().status(0, static_cast<int32_t>(reply.size())).reply(reply);
    p.run(k.line);
    EXPECT_EQ(frames_mismatch({k.command_frame, k.path_frame}, p.sent_frames()), "") << k.line;
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
}

TEST(Ls, PrintsFileRecordsAndDirectoryWalks) {
  struct Case {
    const char* what;
    const char* line;
    std::string reply;
    int32_t announced;  // the status value: the reply length the proxy claims
    std::string printed;
  } cases[] = {
      {"file record", "ls a.bin", file_reply(1234, 0x1ff), 32,
       "a.bin 1234Bytes uid=10 gid=20 attr=1ff own=1a4 grp=-3 other=4\n"},
      {"short file record: missing fields are 0", "ls a", file_reply(99, 0xabc).substr(0, 18), 18,
       "a 0Bytes uid=10 gid=20 attr=abc own=0 grp=0 other=0\n"},
      {"file tag alone", "ls a", "F", 1, "a 0Bytes uid=0 gid=0 attr=0 own=0 grp=0 other=0\n"},
      {"directory", "ls d",
       dir_reply(3,
                 "bin\x01"
                 "a.txt\x02"
                 "b\x02"),
       22, "d contains 3 files\n1 Dir bin \n2 File a.txt \n3 File b \n"},
      {"no path: header starts with a blank", "ls", dir_reply(1, "x\x02"), 10,
       " contains 1 files\n1 File x \n"},
      {"lower-case f is a directory", "ls d", dir_reply(1, "x\x01", 'f'), 10,
       "d contains 1 files\n1 Dir x \n"},
      {"empty names", "ls d", dir_reply(2, "\x01\x02"), 10,
       "d contains 2 files\n1 Dir  \n2 File  \n"},
      {"zero inside a name ends what is printed", "ls d",
       dir_reply(2, std::string("ab\0cd\x02", 6) + "e\x01"), 16,
       "d contains 2 files\n1 File ab \n2 Dir e \n"},
      {"count smaller than the entries", "ls d",
       dir_reply(1,
                 "a\x02"
                 "b\x02"),
       12, "d contains 1 files\n1 File a \n"},
      {"count larger than the entries stops at the frame end", "ls d",
       dir_reply(1000000,
                 "a\x02"
                 "tail-without-type"),
       27, "d contains 1000000 files\n1 File a \n"},
      {"count 0", "ls d", dir_reply(0, "a\x02"), 10, "d contains 0 files\n"},
      {"negative count", "ls d", dir_reply(-2, "a\x02"), 10, "d contains -2 files\n"},
      {"header cut short: count is 0", "ls d", std::string("D\0\0\0\5", 5), 5,
       "d contains 0 files\n"},
      {"empty reply reads as an empty directory", "ls d", "", 0, "d contains 0 files\n"},
      {"negative announced length", "ls d", dir_reply(1, "x\x01"), -5,
       "d contains 1 files\n1 Dir x \n"},
      {"announced length larger than the frame", "ls d", dir_reply(1, "x\x01"), 100000,
       "d contains 1 files\n1 Dir x \n"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().ready().status(0, k.announced).reply(k.reply);
    EXPECT_EQ(p.run(k.line), k.printed) << k.what;
    EXPECT_EQ(p.unread(), 0u) << k.what;
  }
}

// A reply that fills the whole payload area: the last name has no type byte and no zero,
// so the walk must stop exactly at the end of the bytes received.
TEST(Ls, FullSizeReplyIsWalkedWithinItsBytes) {
  std::string entries(16384 - 8, 'n');
  entries[0] = '\x01';
  FakeProxy p;
  p.ready().ready().status(0, 16384).reply(dir_reply(5, entries));
  EXPECT_EQ(p.run("ls d"), "d contains 5 files\n1 Dir  \n");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(Ls, LostReplyEndsAsFailed) {
  FakeProxy p;
  p.ready().ready().status(0, 40).hang_up();
  EXPECT_EQ(p.run("ls d"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \nls command failed errcode = -1\n");
}

// Whatever frame follows the status is the reply, and exactly that frame is consumed, so
// the next command starts in step with the proxy.
TEST(Ls, StaysInStepAfterAnOversizeReply) {
  FakeProxy p;
  std::string oversize = std::string("\x41\x67\x40\x01", 4) + std::string(16385, 'z');
  p.ready().ready().status(0, 16385).raw(oversize);
  std::string out = p.run("ls d");
  EXPECT_NE(out.find("ls command failed errcode = -1\n"), std::string::npos) << out;
  p.ready().ready().status(0).reply(dir_reply(0, ""));
  EXPECT_EQ(p.run("ls e"), "e contains 0 files\n");
  EXPECT_EQ(p.unread(), 0u);
}

TEST(InfoCommands, SendABareCommandMessageWhateverFollowsTheKeyword) {
  struct Case {
    const char* line;
    const char* command_frame;
    bool has_reply;
  } cases[] = {
      {"format", "41 67 00 08 02 xx xx xx xx xx xx xx", false},
      {"format now please", "41 67 00 08 02 xx xx xx xx xx xx xx", false},
      {"pwd", "41 67 00 08 04 xx xx xx xx xx xx xx", true},
      {"ver x", "41 67 00 08 0d xx xx xx xx xx xx xx", true},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().status(0, 1);
    if (k.has_reply) p.reply(std::string(1, '\0'));
    p.run(k.line);
    EXPECT_EQ(frames_mismatch({k.command_frame}, p.sent_frames()), "") << k.line;
    EXPECT_EQ(p.unread(), 0u) << k.line;
  }
  FakeProxy p;
  p.ready().status(0);
  EXPECT_EQ(p.run("format"), "");
}

TEST(InfoCommands, PrintTheTextReplyWithinTheBytesReceived) {
  struct Case {
    const char* what;
    const char* line;
    std::string reply;
    int32_t announced;
    std::string printed;
  } cases[] = {
      {"pwd", "pwd", std::string("/logs\0", 6), 6, "/logs\n"},
      {"ver", "ver", std::string("Jan 02 2024 10:11:12\0", 21), 21,
       "DX shell built at Jan 02 2024 10:11:12\n"},
      {"empty pwd reply", "pwd", "", 0, "\n"},
      {"empty ver reply", "ver", "", 0, "DX shell built at \n"},
      {"text without its zero is cut at the frame end", "pwd", "/abc", 4, "/abc\n"},
      {"bytes after the zero are not printed", "pwd", std::string("/a\0junk", 7), 7, "/a\n"},
      {"negative announced length", "pwd", std::string("/n\0", 3), -1, "/n\n"},
      {"announced length larger than the frame", "ver", std::string("v1\0", 3), 70000,
       "DX shell built at v1\n"},
      {"full-size reply without a zero", "pwd", std::string(16384, 'p'), 16384,
       std::string(16384, 'p') + "\n"},
  };
  for (const Case& k : cases) {
    FakeProxy p;
    p.ready().status(0, k.announced).reply(k.reply);
    EXPECT_EQ(p.run(k.line), k.printed) << k.what;
    EXPECT_EQ(p.unread(), 0u) << k.what;
  }
}

TEST(InfoCommands, LostReplyEndsAsFailed) {
  FakeProxy p;
  p.ready().status(0, 6).hang_up();
  EXPECT_EQ(p.run("pwd"),
            "ERROR: DX proxy program closed the connection\n"
            "ERROR: invalid error code \npwd command failed errcode = -1\n");
}

}  // namespace
}  // namespace rq
