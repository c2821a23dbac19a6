#include "diag/audio_dialogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/diag_command.h"
#include "fake_proxy.h"
#include "support/console_text.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::wire_matches;

// Wire messages the shell sends.
const std::string kCommand = "41 67 00 08 20 01 xx xx xx xx xx xx";
const std::string kGo = "41 67 00 08 00 xx xx xx xx xx xx xx";
const std::string kCancel = "41 67 00 08 63 xx xx xx xx xx xx xx";

// Console text, in the order the dialogue prints it.
const std::string kStart =
    "Start AUDIO Test ... \n"
    "Press a to start audio tone test (c to cancel) ...\n";
const std::string kTone =
    "Did you hear a tone on left channel followed by a tone on right channel(y/n)?\n";
const std::string kRecord = "Press r to record 5 seconds sound ...\n";
const std::string kPlay = "Press p to play back record sound\n";
const std::string kHeard = "Did you hear the playback sound? (y/n)?\n";
const std::string kPassed = "\\/  AUDIO TEST PASSED\n";
const std::string kFailed = "X  AUDIO TEST FAILED(according to output)\n";
const std::string kCanceled = " ??   AUDIO TEST CANCELED\n";
const std::string kClosed = testing::kClosedLine;
std::string report(const char* text, int code, const char* line = "diag audio failed rcving") {
  return std::string("ERROR: ") + text + " \n" + line + " err = " + std::to_string(code) + "\n";
}

struct Transcript {
  const char* name;
  std::vector<int> device;  // the ready and status codes the proxy plays, in order
  bool hang_up;             // then the connection closes
  std::string console;
  std::vector<std::string> sent;
  std::string out;
};

// Readies and statuses of a run that goes through every stage: command, go, status,
// go, status, go, status, final status.
const std::vector<int> kWholeRun = {0, 0, 0, 0, 0, 0, 0, 0};

TEST(AudioTest, FollowsTheDialogueStepByStep) {
  const Transcript transcripts[] = {
      {"a y r p y passes",
       kWholeRun,
       false,
       "a\ny\nr\np\ny\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + kPassed},
      {"a y r p n fails after the final status",
       kWholeRun,
       false,
       "a\ny\nr\np\nn\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + kFailed},
      {"other answers are ignored",
       kWholeRun,
       false,
       "A\n a\n\nx\na\nY\nyes\nR\n r\nr\nP\np\nmaybe\nyes please\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + kPassed},
      {"a n fails without recording",
       {0, 0, 0},
       false,
       "a\nn\n",
       {kCommand, kGo},
       kStart + kTone + kFailed},
      {"c n: status after the cancel, then the tone question",
       {0, 0, 0},
       false,
       "c\nn\n",
       {kCommand, kCancel},
       kStart + kTone + kCanceled},
      {"c y carries on as if started",
       kWholeRun,
       false,
       "c\ny\nr\np\ny\n",
       {kCommand, kCancel, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + kPassed},
      {"c at the record prompt: no status read",
       {0, 0, 0, 0},
       false,
       "a\ny\nc\n",
       {kCommand, kGo, kCancel},
       kStart + kTone + kRecord + kCanceled},
      {"c at the playback prompt: no status read",
       {0, 0, 0, 0, 0, 0},
       false,
       "a\ny\nr\nc\n",
       {kCommand, kGo, kGo, kCancel},
       kStart + kTone + kRecord + kPlay + kCanceled},
      {"refused command message", {9}, false, "a\n", {}, report("file does not exist", 9)},
      {"refused go: verdict on the same line",
       {0, 5},
       false,
       "a\n",
       {kCommand},
       kStart + report("invalid parameter", 5) + "X audio diag test Failed" + kCanceled},
      {"refused cancel",
       {0, 5},
       false,
       "c\n",
       {kCommand},
       kStart + report("invalid parameter", 5, "diag cancel failed rcving") + kCanceled},
      {"refused go at the record prompt",
       {0, 0, 0, 4},
       false,
       "a\ny\nr\n",
       {kCommand, kGo},
       kStart + kTone + kRecord + report("file corrupted", 4) + "X audio diag test Failed" +
           kCanceled},
      {"bad status after the tone",
       {0, 0, 3},
       false,
       "a\ny\n",
       {kCommand, kGo},
       kStart + report("access failed", 3) + kFailed},
      {"bad status after a cancel",
       {0, 0, 3},
       false,
       "c\ny\n",
       {kCommand, kCancel},
       kStart + report("access failed", 3) + kCanceled},
      {"status 3 after recording",
       {0, 0, 0, 0, 3},
       false,
       "a\ny\nr\np\ny\n",
       {kCommand, kGo, kGo},
       kStart + kTone + kRecord + report("access failed", 3) + kFailed},
      {"bad status after playback",
       {0, 0, 0, 0, 0, 0, 1},
       false,
       "a\ny\nr\np\ny\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + report("usb bus error", 1) + kFailed},
      {"bad final status",
       {0, 0, 0, 0, 0, 0, 0, 100},
       false,
       "a\ny\nr\np\ny\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + report("command failed", 100) + kFailed},
      {"end of input at the start prompt", {0}, false, "", {kCommand}, kStart + kCanceled},
      {"end of input at the tone question",
       {0, 0, 0},
       false,
       "a\n",
       {kCommand, kGo},
       kStart + kTone + kFailed},
      {"end of input at the record prompt",
       {0, 0, 0},
       false,
       "a\ny\n",
       {kCommand, kGo},
       kStart + kTone + kRecord + kCanceled},
      {"end of input at the playback prompt",
       {0, 0, 0, 0, 0},
       false,
       "a\ny\nr\n",
       {kCommand, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kCanceled},
      {"end of input at the playback question still reads the final status",
       kWholeRun,
       false,
       "a\ny\nr\np\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + kFailed},
      {"lost status after the tone",
       {0, 0},
       true,
       "a\ny\n",
       {kCommand, kGo},
       kStart + kClosed + report("invalid error code", -1) + kFailed},
      {"lost final status",
       {0, 0, 0, 0, 0, 0, 0},
       true,
       "a\ny\nr\np\ny\n",
       {kCommand, kGo, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kHeard + kClosed + report("invalid error code", -1) +
           kFailed},
  };
  for (const Transcript& t : transcripts) {
    SCOPED_TRACE(t.name);
    FakeProxy p;
    for (int code : t.device) p.status(code);
    if (t.hang_up) p.hang_up();
    p.console(t.console);
    EXPECT_EQ(p.run(cmd_diag, "diag aud"), t.out);
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), t.sent.size());
    if (f.size() != t.sent.size()) continue;
    for (size_t i = 0; i < f.size(); ++i)
      EXPECT_TRUE(wire_matches(t.sent[i], f[i])) << i << ": " << hex(f[i]);
    EXPECT_EQ(p.unread(), 0u);
  }
}

TEST(AudioTest, IsPickedByItsWordInAnyCase) {
  for (const char* line : {"diag aud", "diag AUDIO", "diag\taudible"}) {
    FakeProxy p;
    p.status(0);
    EXPECT_EQ(p.run(cmd_diag, line), kStart + kCanceled) << line;
    auto f = p.sent_frames();
    EXPECT_EQ(f.size(), 1u) << line;
    if (f.size() != 1u) continue;
    EXPECT_TRUE(wire_matches(kCommand, f[0])) << hex(f[0]);
  }
}

}  // namespace
}  // namespace rq
