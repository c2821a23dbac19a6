// The real rqshell runs every diagnostic test against the real rqsim, with the operator's
// answers on standard input while the commands come from a script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/console_text.h"

namespace rq::e2e {
namespace {

const std::string kGbaQuestion = testing::kGbaQuestion;
const std::string kAudioStart =
    "Start AUDIO Test ... \n"
    "Press a to start audio tone test (c to cancel) ...\n"
    "Did you hear a tone on left channel followed by a tone on right channel(y/n)?\n"
    "Press r to record 5 seconds sound ...\n";
const std::string kAudioPlayback =
    "Press p to play back record sound\n"
    "Did you hear the playback sound? (y/n)?\n";

class DiagRun : public ::testing::Test {
 protected:
  void start(std::vector<std::string> args) {
    args.insert(args.begin(), {"--root", dir_ / "root", "--diag-delay", "0"});
    ASSERT_TRUE(start_sim(sim_, args, dir_ / "sim.err")) << read_file(dir_ / "sim.err");
  }
  void TearDown() override { stop_sim(sim_); }

  // Runs the script with the operator's answers and expects exactly this console text.
  void expect_run(const std::string& script, const std::string& answers, const std::string& out) {
    e2e::Run run = run_shell_script(sim_, dir_, script, answers);
    ASSERT_FALSE(run.timed_out) << run.out;
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.err, "");
  }

  TempDir dir_;
  Sim sim_;
};

TEST_F(DiagRun, EveryTestPassesWithAnswersFromTheConsole) {
  start({});
  expect_run("diag usb\ndiag rtc\ndiag flash\ndiag gba\ndiag aud\nping\nq\n", "y\na\ny\nr\np\ny\n",
             "Start USB Test ... \n\\/ USB TEST PASSED\n"
             "Start RTC Test ... \n\\/  RTC TEST PASSED\n"
             "Start FLASH Test ... \n\\/ FLASH TEST PASSED\n"
             "Start GBA Test ... \n" +
                 kGbaQuestion + "\\/ GBA TEST PASSED\n" + kAudioStart + kAudioPlayback +
                 "\\/  AUDIO TEST PASSED\n");
}

TEST_F(DiagRun, OperatorAnswersDecideAndCancelsKeepTheLinkInStep) {
  start({});
  // GBA answered no; the audio test cancelled at the record prompt (nothing more is due
  // from the device); then tests and a ping still run in step.
  expect_run("diag gba\ndiag aud\ndiag rtc\nping\nq\n", "maybe\nn\na\ny\nc\n",
             "Start GBA Test ... \n" + kGbaQuestion + " X GBA Test Failed \n" + kAudioStart +
                 " ??   AUDIO TEST CANCELED\n"
                 "Start RTC Test ... \n\\/  RTC TEST PASSED\n");
}

TEST_F(DiagRun, AFailingTestReportsItsStatusAndTheShellGoesOn) {
  start({"--diag-status", "flash=3"});
  expect_run("diag flash\ndiag usb\ndiag memory\nq\n", "",
             "Start FLASH Test ... \n"
             "ERROR: access failed \n"
             "diag flash failed errcode = 3\n"
             "Start USB Test ... \n\\/ USB TEST PASSED\n"
             "Error: unsupport diag command <diag memory>\n");
}

}  // namespace
}  // namespace rq::e2e
