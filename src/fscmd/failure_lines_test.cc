// Every step of every device file command that can fail, with the exact line it prints.
#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"
#include "fscmd/info_commands.h"
#include "fscmd/list_command.h"
#include "fscmd/path_commands.h"
#include "fscmd/rename_copy.h"

namespace rq {
namespace {

using testing::FakeProxy;

enum Step {
  kCommandRefused,  // the ready message before the command message says 5
  kPayloadRefused,  // the ready message before the path or names says 7
  kBadStatus,       // the status says 30
  kStatusLost,      // the proxy hangs up instead of sending the status
};

struct Case {
  testing::Handler handler;
  const char* line;
  Step step;
  const char* failure_line;  // the line after "ERROR: <text> \n"
};

const Case kCases[] = {
    {cmd_cd, "cd x", kCommandRefused, "cd command failed rcving cmd = 5\n"},
    {cmd_cd, "cd x", kPayloadRefused, "cd command failed errcode = 7\n"},
    {cmd_cd, "cd x", kBadStatus, "cd command failed errcode = 30\n"},
    {cmd_cd, "cd x", kStatusLost, "cd command failed errcode = -1\n"},
    {cmd_mkdir, "mkdir x", kCommandRefused, "mkdir command failed rcv cmd = 5\n"},
    {cmd_mkdir, "mkdir x", kPayloadRefused, "mkdir command failed rcv cmd = 7\n"},
    {cmd_mkdir, "mkdir x", kBadStatus, "mkdir command failed errcode = 30\n"},
    {cmd_mkdir, "mkdir x", kStatusLost, "mkdir command failed errcode = -1\n"},
    {cmd_rm, "rm x", kCommandRefused, "rm command failed rcv cmd = 5\n"},
    {cmd_rm, "rm x", kPayloadRefused, "rm command failed errcode = 7\n"},
    {cmd_rm, "rm x", kBadStatus, "rm command failed errcode = 30\n"},
    {cmd_rm, "rm x", kStatusLost, "rm command failed errcode = -1\n"},
    {cmd_launch, "launch x", kCommandRefused, "launch command failed rcv cmd errcode = 5\n"},
    {cmd_launch, "launch x", kPayloadRefused, "launch command failed errcode = 7\n"},
    {cmd_launch, "launch x", kBadStatus, "launch command failed errcode = 30\n"},
    {cmd_launch, "launch x", kStatusLost, "launch command failed errcode = -1\n"},
    {cmd_ls, "ls x", kCommandRefused, "ls command failed rv cmd = 5\n"},
    {cmd_ls, "ls x", kPayloadRefused, "ls command failed errcode = 7\n"},
    {cmd_ls, "ls x", kBadStatus, "ls command failed errcode = 30\n"},
    {cmd_ls, "ls x", kStatusLost, "ls command failed errcode = -1\n"},
    {cmd_mv, "mv a b", kCommandRefused, "mv command failed errcode = 5\n"},
    {cmd_mv, "mv a b", kPayloadRefused, "mv command failed errcode = 7\n"},
    {cmd_mv, "mv a b", kBadStatus, "mv command failed errcode = 30\n"},
    {cmd_mv, "mv a b", kStatusLost, "mv command failed errcode = -1\n"},
    {cmd_cp, "cp a b", kCommandRefused, "mv command failed errcode = 5\n"},
    {cmd_cp, "cp a b", kPayloadRefused, "mv command failed errcode = 7\n"},
    {cmd_cp, "cp a b", kBadStatus, "cp command failed errcode = 30\n"},
    {cmd_cp, "cp a b", kStatusLost, "cp command failed errcode = -1\n"},
    {cmd_format, "format", kCommandRefused, "format command failed errcode = 5\n"},
    {cmd_format, "format", kBadStatus, "format command failed errcode = 30\n"},
    {cmd_format, "format", kStatusLost, "format command failed errcode = -1\n"},
    {cmd_pwd, "pwd", kCommandRefused, "pwd command failed errcode = 5\n"},
    {cmd_pwd, "pwd", kBadStatus, "pwd command failed errcode = 30\n"},
    {cmd_pwd, "pwd", kStatusLost, "pwd command failed errcode = -1\n"},
    {cmd_ver, "ver", kCommandRefused, "ver command failed errcode = 5\n"},
    {cmd_ver, "ver", kBadStatus, "ver command failed errcode = 30\n"},
    {cmd_ver, "ver", kStatusLost, "ver command failed errcode = -1\n"},
};

bool sends_payload(testing::Handler h) { return h != cmd_format && h != cmd_pwd && h != cmd_ver; }

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
        if (sends_payload(k.handler)) p.ready();
        if (k.step == kBadStatus) {
          p.status(30);
          report = "ERROR: invalid path \n";
        } else {
          p.hang_up();
          report = "ERROR: DX proxy program closed the connection\nERROR: invalid error code \n";
        }
        frames_sent = sends_payload(k.handler) ? 2 : 1;
        break;
    }
    std::string where = std::string(k.line) + " step " + std::to_string(k.step);
    EXPECT_EQ(p.run(k.handler, k.line), report + k.failure_line) << where;
    EXPECT_EQ(p.sent_frames().size(), frames_sent) << where;
    EXPECT_EQ(p.unread(), 0u) << where;
  }
}

// A status byte from 0x80 up is a negative code; it must still end the command as failed.
TEST(FailureLines, NegativeStatusCodeIsAFailure) {
  FakeProxy p;
  p.ready().ready().status(-1);
  EXPECT_EQ(p.run(cmd_mkdir, "mkdir x"),
            "ERROR: invalid error code \nmkdir command failed errcode = -1\n");
}

}  // namespace
}  // namespace rq
