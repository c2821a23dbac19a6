// Fault rules: their option syntax, and that every injected fault leaves rqsim in step with a
// shell that follows the exchange (or drops the link where nothing could stay in step).
#include "faults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_shell.h"

namespace rq::sim {
namespace {

using testing::FakeShell;
using testing::message;
using testing::patterned;
using testing::put_payload;
using testing::ready;
using testing::with_zero;

int id(const char* keyword) { return command_from_name(keyword, std::strlen(keyword)); }

TEST(FaultOptions, ParsesEachRuleAndRefusesWhatCannotWork) {
  FILE* err = tmpfile();
  Faults f;
  EXPECT_EQ(parse_refuse_rule(f, "put:3=8", err), 0);
  EXPECT_EQ(parse_refuse_rule(f, "2=6", err), 0);
  EXPECT_EQ(parse_refuse_rule(f, "all=255", err), 0);
  EXPECT_EQ(parse_status_rule(f, "ls=9", err), 0);
  EXPECT_EQ(parse_drop_rule(f, "get:20000", err), 0);
  EXPECT_EQ(parse_command_flag(f.oversize, "--oversize", "cd", err), 0);
  EXPECT_EQ(refusal_code(faults_for(f, id("put"), 1), 3), 8);
  EXPECT_EQ(refusal_code(faults_for(f, id("put"), 1), 2), 0);
  EXPECT_EQ(refusal_code(faults_for(f, kNoCommand, 2), 1), 6);
  EXPECT_EQ(refusal_code(faults_for(f, kNoCommand, 7), 1), 255);  // "all"
  EXPECT_EQ(faults_for(f, id("ls"), 1).status, 9);
  EXPECT_EQ(faults_for(f, id("cd"), 1).status, 0);
  EXPECT_EQ(faults_for(f, id("get"), 1).drop_after, 20000);
  EXPECT_EQ(faults_for(f, id("put"), 1).drop_after, -1);
  EXPECT_TRUE(faults_for(f, id("cd"), 1).oversize);
  EXPECT_FALSE(faults_for(f, id("ls"), 1).oversize);

  const char* bad_refusals[] = {"ls=5", "ls:1=5", "ls:x=5", "ls:2=0", "ls:2=256", "nope:2=5",
                                "0=5",  "-1=5",   "ls:2",   "=5",     "all:2=5"};
  for (const char* text : bad_refusals) EXPECT_EQ(parse_refuse_rule(f, text, err), -1) << text;
  EXPECT_EQ(parse_status_rule(f, "ls=0", err), -1);
  EXPECT_EQ(parse_status_rule(f, "ls", err), -1);
  EXPECT_EQ(parse_drop_rule(f, "cd:5", err), -1);  // moves no data
  EXPECT_EQ(parse_drop_rule(f, "get:-1", err), -1);
  EXPECT_EQ(parse_drop_rule(f, "get", err), -1);
  EXPECT_EQ(parse_command_flag(f.garbage, "--garbage", "LS", err), -1);
  EXPECT_EQ(parse_corrupt_rule(f, "put:5", err), -1);  // only data the device sends
  EXPECT_EQ(parse_corrupt_rule(f, "get", err), -1);
  EXPECT_EQ(parse_corrupt_rule(f, "rb:-1", err), -1);
  fclose(err);
}

TEST(FaultOptions, CorruptFlipsOnlyTheNamedByteOfTheChunkHoldingIt) {
  Faults f;
  ASSERT_EQ(parse_corrupt_rule(f, "get:20000", stderr), 0);
  ASSERT_EQ(parse_corrupt_rule(f, "rb:0", stderr), 0);
  uint8_t chunk[4] = {1, 2, 3, 4};
  CommandFaults get = faults_for(f, id("get"), 1);
  apply_corruption(get, 19996, chunk, 4);  // ends just before the offset
  apply_corruption(get, 20001, chunk, 4);  // begins just after it
  apply_corruption(faults_for(f, id("put"), 1), 19998, chunk, 4);
  EXPECT_EQ(chunk[0] + chunk[1] + chunk[2] + chunk[3], 10);
  apply_corruption(get, 19997, chunk, 4);
  EXPECT_EQ(chunk[3], 4 ^ 0xff);
  apply_corruption(faults_for(f, id("rb"), 1), 0, chunk, 4);
  EXPECT_EQ(chunk[0], 1 ^ 0xff);
}

SimOptions with_rule(int (*parse)(Faults&, const char*, FILE*), const char* text) {
  SimOptions o;
  EXPECT_EQ(parse(o.faults, text, stderr), 0);
  return o;
}

TEST(Faults, ARefusedCommandMessageIsFollowedByAFreshReady) {
  FakeShell sh(with_rule(parse_refuse_rule, "2=6"));
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPwd);
  EXPECT_EQ(sh.receive(), message(0, 2));
  EXPECT_EQ(sh.receive(), with_zero("/"));
  EXPECT_EQ(sh.receive(), message(6));  // the shell drops its second command
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPwd);
  EXPECT_EQ(sh.receive(), message(0, 2));
}

TEST(Faults, ARefusedGrantEndsTheUploadWithoutAFile) {
  FakeShell sh(with_rule(parse_refuse_rule, "put:4=8"));  // the grant before chunk 2
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPut, 4 + 2 + 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(put_payload(40000, "up"));
  EXPECT_EQ(sh.receive(), message(0));
  sh.send(patterned(16384));
  sh.send(patterned(16384));
  EXPECT_EQ(sh.receive(), message(8));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPing, 3);
  EXPECT_EQ(sh.receive(), message(0, 4));
  EXPECT_EQ(sh.root.names(sh.root.root()), "");
}

TEST(Faults, ARefusedAudioAnswerEndsTheDialogue) {
  FakeShell sh(with_rule(parse_refuse_rule, "diag:3=5"));  // the record prompt
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdDiag, 0, kDiagAudio);
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdAudioGo);
  EXPECT_EQ(sh.receive(), message(0));
  EXPECT_EQ(sh.receive(), message(5));
  EXPECT_EQ(sh.receive(), ready());
}

TEST(Faults, AForcedStatusLeavesTheDeviceAsItWas) {
  SimOptions o = with_rule(parse_status_rule, "ls=9");
  EXPECT_EQ(parse_status_rule(o.faults, "put=3", stderr), 0);
  EXPECT_EQ(parse_status_rule(o.faults, "mkdir=-7", stderr), 0);
  FakeShell sh(o);
  sh.root.write("/file", "old");
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdLs, 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero(""));
  EXPECT_EQ(sh.receive(), message(9));  // and no listing
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdPut, 4 + 4 + 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(put_payload(3, "file"));
  EXPECT_EQ(sh.receive(), message(0));
  sh.send("new");
  EXPECT_EQ(sh.receive(), message(3, 3));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdMkdir, 2);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("d"));
  EXPECT_EQ(sh.receive(), message(-7));  // a negative code, as given
  EXPECT_EQ(sh.receive(), ready());
  EXPECT_EQ(sh.root.read(sh.root.host("/file")), "old");
  EXPECT_EQ(sh.root.names(sh.root.root()), "file");
}

// 20000 bytes into a 40000-byte download: the first frame whole, then a frame that announces
// 16384 bytes but carries 3616, and the link closes.
TEST(Faults, DropCutsTheDataAtTheGivenByte) {
  FakeShell sh(with_rule(parse_drop_rule, "get:20000"));
  sh.root.write("/big", patterned(40000));
  ASSERT_TRUE(sh.start());
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdGet, 4);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero("big"));
  EXPECT_EQ(sh.receive(), message(0, 40000));
  EXPECT_EQ(sh.receive(), patterned(40000).substr(0, 16384));
  std::string rest = sh.drain();
  ASSERT_EQ(rest.size(), 4u + 3616u);
  EXPECT_EQ(rest.substr(0, 4), std::string("\x41\x67\x40\x00", 4));
  EXPECT_EQ(rest.substr(4), patterned(40000).substr(16384, 3616));
}

TEST(Faults, OversizeFrameStaysInStepAndGarbageDropsTheLink) {
  SimOptions o = with_rule(parse_status_rule, "ping=1");
  EXPECT_EQ(parse_command_flag(o.faults.oversize, "--oversize", "cd", stderr), 0);
  EXPECT_EQ(parse_command_flag(o.faults.garbage, "--garbage", "ls", stderr), 0);
  o.faults.split = true;  // every frame one byte per write: still whole frames
  FakeShell sh(o);
  sh.send_message(kCmdPing, 0);
  EXPECT_EQ(sh.receive(), message(1, 1));  // the start-up ping's status code is forced
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdCd, 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero(""));
  EXPECT_EQ(sh.receive(), std::string(20000, '\xEE'));
  EXPECT_EQ(sh.receive(), ready());
  sh.send_message(kCmdLs, 1);
  EXPECT_EQ(sh.receive(), ready());
  sh.send(with_zero(""));
  std::string garbage = sh.drain();
  EXPECT_EQ(garbage.substr(0, 4), "\xDE\xAD\xBE\xEF");
  EXPECT_NE(sh.log().find("garbage"), std::string::npos);
}

}  // namespace
}  // namespace rq::sim
