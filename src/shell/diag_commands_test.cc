// diag against the scripted proxy: the simple tests with their questions and verdicts, and
// the audio dialogue at every prompt.
#include "shell/diag_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_proxy.h"
#include "support/console_text.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::frames_mismatch;
using testing::kGbaQuestion;

// What the proxy does after the command message's ready.
enum Device {
  kPasses,      // ready 0, status 0
  kRefuses,     // ready 5: the command message is never sent
  kFailsWith3,  // ready 0, status 3
  kHangsUp,     // ready 0, then the connection closes instead of a status
  kSilent,      // nothing: the command is not a test
};

struct Case {
  const char* line;
  Device device;
  const char* console;
  const char* sent;  // the command message, or "" when none is sent
  const char* out;
};

void play(FakeProxy& p, Device device) {
  switch (device) {
    case kPasses: p.ready().status(0); break;
    case kRefuses: p.ready(5); break;
    case kFailsWith3: p.ready().status(3); break;
    case kHangsUp: p.ready().hang_up(); break;
    case kSilent: break;
  }
}

void run_cases(const Case* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const Case& k = cases[i];
    SCOPED_TRACE(std::string(k.line) + " / console: " + k.console);
    FakeProxy p;
    play(p, k.device);
    p.console(k.console);
    EXPECT_EQ(p.run(k.line), k.out);
    std::vector<std::string> sent;
    if (*k.sent) sent.push_back(k.sent);
    EXPECT_EQ(frames_mismatch(sent, p.sent_frames()), "");
    EXPECT_EQ(p.unread(), 0u);
  }
}

constexpr const char* kUsb = "41 67 00 08 20 03 xx xx xx xx xx xx";
constexpr const char* kRtc = "41 67 00 08 20 02 xx xx xx xx xx xx";
constexpr const char* kFlash = "41 67 00 08 20 05 xx xx xx xx xx xx";
constexpr const char* kGba = "41 67 00 08 20 04 xx xx xx xx xx xx";

TEST(Diag, SimpleTestsReportPassRefusalAndBadStatus) {
  const Case cases[] = {
      {"diag usb", kPasses, "", kUsb, "Start USB Test ... \n\\/ USB TEST PASSED\n"},
      {"diag rtc", kPasses, "", kRtc, "Start RTC Test ... \n\\/  RTC TEST PASSED\n"},
      {"diag flash", kPasses, "", kFlash, "Start FLASH Test ... \n\\/ FLASH TEST PASSED\n"},
      {"diag usb", kRefuses, "", "", "ERROR: invalid parameter \ndiag usb failed rcving err = 5\n"},
      {"diag rtc", kRefuses, "", "", "ERROR: invalid parameter \ndiag rtc failed rcving err = 5\n"},
      {"diag flash", kRefuses, "", "",
       "ERROR: invalid parameter \ndiag flash failed rcving err = 5\n"},
      {"diag gba", kRefuses, "y\n", "",
       "ERROR: invalid parameter \ndiag GBA failed rcving err = 5\n"},
      {"diag usb", kFailsWith3, "", kUsb,
       "Start USB Test ... \nERROR: access failed \ndiag usb failed errcode = 3\n"},
      {"diag rtc", kFailsWith3, "", kRtc,
       "Start RTC Test ... \nERROR: access failed \ndiag rtc failed errcode = 3\n"},
      {"diag flash", kFailsWith3, "", kFlash,
       "Start FLASH Test ... \nERROR: access failed \ndiag flash failed errcode = 3\n"},
      // The operator is not asked about a test that failed.
      {"diag gba", kFailsWith3, "y\n", kGba,
       "Start GBA Test ... \nERROR: access failed \ndiag GBA failed errcode = 3\n"},
      // A status that never arrives fails the test; the GBA question is not asked.
      {"diag flash", kHangsUp, "", kFlash,
       "Start FLASH Test ... \nERROR: DX proxy program closed the connection\n"
       "ERROR: invalid error code \ndiag flash failed errcode = -1\n"},
      {"diag gba", kHangsUp, "y\n", kGba,
       "Start GBA Test ... \nERROR: DX proxy program closed the connection\n"
       "ERROR: invalid error code \ndiag GBA failed errcode = -1\n"},
  };
  run_cases(cases, std::size(cases));
}

TEST(Diag, GbaAsksTheOperatorOnTheRawFirstByteOfEachAnswer) {
  const std::string asked = std::string("Start GBA Test ... \n") + kGbaQuestion;
  const std::string passed = asked + "\\/ GBA TEST PASSED\n";
  const std::string failed = asked + " X GBA Test Failed \n";
  const std::string long_line = std::string(255, 'x') + "y\n";  // second piece is "y\n"
  const Case cases[] = {
      {"diag gba", kPasses, "y\n", kGba, passed.c_str()},
      {"diag gba", kPasses, "yes\n", kGba, passed.c_str()},
      {"diag gba", kPasses, "n\n", kGba, failed.c_str()},
      {"diag gba", kPasses, "no thanks\n", kGba, failed.c_str()},
      {"diag gba", kPasses, "maybe\n\nY\n y\nN\nyes\n", kGba, passed.c_str()},
      {"diag gba", kPasses, long_line.c_str(), kGba, passed.c_str()},
      {"diag gba", kPasses, "y", kGba, passed.c_str()},  // last line without a line feed
      {"diag gba", kPasses, "", kGba, failed.c_str()},   // end of input
      {"diag gba", kPasses, "maybe\n", kGba, failed.c_str()},
  };
  run_cases(cases, std::size(cases));
}

TEST(Diag, PicksTheTestByItsLeadingLettersInAnyCase) {
  const Case cases[] = {
      {"diag USB", kPasses, "", kUsb, "Start USB Test ... \n\\/ USB TEST PASSED\n"},
      {"diag Flash", kPasses, "", kFlash, "Start FLASH Test ... \n\\/ FLASH TEST PASSED\n"},
      {"diag  \trtc", kPasses, "", kRtc, "Start RTC Test ... \n\\/  RTC TEST PASSED\n"},
      {"diag flashy", kPasses, "", kFlash, "Start FLASH Test ... \n\\/ FLASH TEST PASSED\n"},
      {"diagrtc", kPasses, "", kRtc, "Start RTC Test ... \n\\/  RTC TEST PASSED\n"},
      {"DIAG usb extra words", kPasses, "", kUsb, "Start USB Test ... \n\\/ USB TEST PASSED\n"},
      {"diag memory", kSilent, "", "", "Error: unsupport diag command <diag memory>\n"},
      {"diag fla", kSilent, "", "", "Error: unsupport diag command <diag fla>\n"},
      {"diag", kSilent, "", "", "Error: unsupport diag command <diag>\n"},
      {"diag %s%n", kSilent, "", "", "Error: unsupport diag command <diag %s%n>\n"},
      // The line is quoted as typed, keyword included.
      {"DIAGNOSE", kSilent, "", "", "Error: unsupport diag command <DIAGNOSE>\n"},
  };
  run_cases(cases, std::size(cases));
}

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
  std::string console;
  std::vector<std::string> sent;
  std::string out;
  bool hang_up = false;  // the connection closes after the codes
};

// Readies and statuses of a run that goes through every stage: command, go, status,
// go, status, go, status, final status.
const std::vector<int> kWholeRun = {0, 0, 0, 0, 0, 0, 0, 0};
// What the shell sends in such a run, and every prompt it prints on the way.
const std::vector<std::string> kWholeRunSent = {kCommand, kGo, kGo, kGo};
const std::string kEveryPrompt = kStart + kTone + kRecord + kPlay + kHeard;

TEST(AudioTest, FollowsTheDialogueStepByStep) {
  const Transcript transcripts[] = {
      {"a y r p y passes", kWholeRun, "a\ny\nr\np\ny\n", kWholeRunSent, kEveryPrompt + kPassed},
      {"a y r p n fails after the final status", kWholeRun, "a\ny\nr\np\nn\n", kWholeRunSent,
       kEveryPrompt + kFailed},
      {"other answers are ignored", kWholeRun,
       "A\n a\n\nx\na\nY\nyes\nR\n r\nr\nP\np\nmaybe\nyes please\n", kWholeRunSent,
       kEveryPrompt + kPassed},
      {"a n fails without recording",
       {0, 0, 0},
       "a\nn\n",
       {kCommand, kGo},
       kStart + kTone + kFailed},
      {"c n: status after the cancel, then the tone question",
       {0, 0, 0},
       "c\nn\n",
       {kCommand, kCancel},
       kStart + kTone + kCanceled},
      {"c y carries on as if started",
       kWholeRun,
       "c\ny\nr\np\ny\n",
       {kCommand, kCancel, kGo, kGo},
       kEveryPrompt + kPassed},
      {"c at the record prompt: no status read",
       {0, 0, 0, 0},
       "a\ny\nc\n",
       {kCommand, kGo, kCancel},
       kStart + kTone + kRecord + kCanceled},
      {"c at the playback prompt: no status read",
       {0, 0, 0, 0, 0, 0},
       "a\ny\nr\nc\n",
       {kCommand, kGo, kGo, kCancel},
       kStart + kTone + kRecord + kPlay + kCanceled},
      {"refused command message", {9}, "a\n", {}, report("file does not exist", 9)},
      {"refused go: verdict on the same line",
       {0, 5},
       "a\n",
       {kCommand},
       kStart + report("invalid parameter", 5) + "X audio diag test Failed" + kCanceled},
      {"refused cancel",
       {0, 5},
       "c\n",
       {kCommand},
       kStart + report("invalid parameter", 5, "diag cancel failed rcving") + kCanceled},
      {"refused go at the record prompt",
       {0, 0, 0, 4},
       "a\ny\nr\n",
       {kCommand, kGo},
       kStart + kTone + kRecord + report("file corrupted", 4) + "X audio diag test Failed" +
           kCanceled},
      {"bad status after the tone",
       {0, 0, 3},
       "a\ny\n",
       {kCommand, kGo},
       kStart + report("access failed", 3) + kFailed},
      {"bad status after a cancel",
       {0, 0, 3},
       "c\ny\n",
       {kCommand, kCancel},
       kStart + report("access failed", 3) + kCanceled},
      {"status 3 after recording",
       {0, 0, 0, 0, 3},
       "a\ny\nr\np\ny\n",
       {kCommand, kGo, kGo},
       kStart + kTone + kRecord + report("access failed", 3) + kFailed},
      {"bad status after playback",
       {0, 0, 0, 0, 0, 0, 1},
       "a\ny\nr\np\ny\n",
       kWholeRunSent,
       kStart + kTone + kRecord + kPlay + report("usb bus error", 1) + kFailed},
      {"bad final status",
       {0, 0, 0, 0, 0, 0, 0, 100},
       "a\ny\nr\np\ny\n",
       kWholeRunSent,
       kEveryPrompt + report("command failed", 100) + kFailed},
      {"end of input at the start prompt", {0}, "", {kCommand}, kStart + kCanceled},
      {"end of input at the tone question",
       {0, 0, 0},
       "a\n",
       {kCommand, kGo},
       kStart + kTone + kFailed},
      {"end of input at the record prompt",
       {0, 0, 0},
       "a\ny\n",
       {kCommand, kGo},
       kStart + kTone + kRecord + kCanceled},
      {"end of input at the playback prompt",
       {0, 0, 0, 0, 0},
       "a\ny\nr\n",
       {kCommand, kGo, kGo},
       kStart + kTone + kRecord + kPlay + kCanceled},
      {"end of input at the playback question still reads the final status", kWholeRun,
       "a\ny\nr\np\n", kWholeRunSent, kEveryPrompt + kFailed},
      {"lost status after the tone",
       {0, 0},
       "a\ny\n",
       {kCommand, kGo},
       kStart + kClosed + report("invalid error code", -1) + kFailed,
       true},
      {"lost final status",
       {0, 0, 0, 0, 0, 0, 0},
       "a\ny\nr\np\ny\n",
       kWholeRunSent,
       kEveryPrompt + kClosed + report("invalid error code", -1) + kFailed,
       true},
  };
  for (const Transcript& t : transcripts) {
    SCOPED_TRACE(t.name);
    FakeProxy p;
    for (int code : t.device) p.status(code);
    if (t.hang_up) p.hang_up();
    p.console(t.console);
    EXPECT_EQ(p.run("diag aud"), t.out);
    EXPECT_EQ(frames_mismatch(t.sent, p.sent_frames()), "");
    EXPECT_EQ(p.unread(), 0u);
  }
}

// The console lines stay the same; how the command ended tells a test the operator failed
// from one whose answers never came.
TEST(Diag, AnEndOfInputAtAPromptLeavesTheTestWithoutAVerdict) {
  struct Row {
    const char* name;
    const char* line;
    std::vector<int> device;
    const char* console;
    CommandOutcome outcome;
  } rows[] = {
      {"gba confirmed", "diag gba", {0, 0}, "y\n", CommandOutcome::kOk},
      {"gba denied", "diag gba", {0, 0}, "n\n", CommandOutcome::kDevice},
      {"gba unanswered", "diag gba", {0, 0}, "", CommandOutcome::kNoAnswer},
      {"audio cancelled", "diag aud", {0, 0, 0}, "c\nn\n", CommandOutcome::kDevice},
      {"audio ends at the first key prompt", "diag aud", {0}, "", CommandOutcome::kNoAnswer},
      {"audio ends at the last question", "diag aud", kWholeRun, "a\ny\nr\np\n",
       CommandOutcome::kNoAnswer},
      {"audio refused", "diag aud", {9}, "", CommandOutcome::kDevice},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeProxy p;
    for (int code : row.device) p.status(code);
    p.console(row.console);
    p.run(row.line);
    EXPECT_EQ(p.outcome(), row.outcome);
  }
}

TEST(AudioTest, IsPickedByItsWordInAnyCase) {
  for (const char* line : {"diag aud", "diag AUDIO", "diag\taudible"}) {
    FakeProxy p;
    p.status(0);
    EXPECT_EQ(p.run(line), kStart + kCanceled) << line;
    EXPECT_EQ(frames_mismatch({kCommand}, p.sent_frames()), "") << line;
  }
}

}  // namespace
}  // namespace rq
