// The command scripts in examples/ run as an operator would run them: the real rqshell,
// started in a directory holding the local files, against the real rqsim. Each run's
// console text and the files it leaves behind are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/console_text.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

const std::string kExamples = std::string(RQ_SOURCE_DIR) + "/examples/";

class Examples : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root());
    fs::create_directories(dir_ / "boots");
  }
  void TearDown() override { stop_sim(sim_); }

  void start() {
    ASSERT_TRUE(start_sim(sim_,
                          {"--root", root(), "--boot-dir", dir_ / "boots", "--diag-delay", "0"},
                          dir_ / "sim.err"))
        << read_file(dir_ / "sim.err");
  }

  // Runs examples/<name> from the test's directory, as "rqshell script server port".
  std::string run(const std::string& name, const std::string& console = "") {
    e2e::Run r =
        run_program({rqshell_bin(), kExamples + name, "127.0.0.1", std::to_string(sim_.port)},
                    console, 30000, dir_.path());
    EXPECT_FALSE(r.timed_out) << r.out;
    EXPECT_EQ(r.exit_status, 0) << r.out;  // every example ends with q
    EXPECT_EQ(r.err, "");
    return testing::mask_varying(r.out);
  }

  std::string root() const { return dir_ / "root"; }

  TempDir dir_;
  Sim sim_;
};

TEST_F(Examples, ScriptsHaveNoCommentLinesAndEndWithQuit) {
  for (const auto& entry : fs::directory_iterator(kExamples)) {
    if (entry.path().extension() != ".rq") continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::string text = read_file(entry.path().string());
    EXPECT_EQ(text.find('#'), std::string::npos) << "the shell has no comment syntax";
    EXPECT_EQ(text.find(" \n"), std::string::npos) << "a trailing blank joins the argument";
    EXPECT_GE(text.size(), 2u);
    if (text.size() < 2u) continue;
    EXPECT_EQ(text.substr(text.size() - 2), "q\n");
  }
}

TEST_F(Examples, UploadAndLaunch) {
  const std::string program =
      "\x7f"
      "ELF" +
      random_bytes(5000, 1);
  write_file(dir_ / "hello.elf", program);
  fs::create_directories(root() + "/bin");
  start();
  EXPECT_EQ(run("upload-and-launch.rq"),
            "Download 4.9 KB <time>\n"
            "/bin/hello.elf 5004Bytes uid=0 gid=0 attr=1a4 own=6 grp=4 other=4\n");
  EXPECT_TRUE(read_file(root() + "/bin/hello.elf") == program);
  EXPECT_NE(read_file(dir_ / "sim.err").find("rqsim: launched /bin/hello.elf\n"),
            std::string::npos);
}

TEST_F(Examples, BootImageRoundTrip) {
  // Longer than two chunks, so that boot 2's shortened first chunk is exercised.
  const std::string image = random_bytes(40000, 2);
  write_file(dir_ / "boot2.img", image);
  start();
  EXPECT_EQ(run("boot-image-roundtrip.rq"), "");
  EXPECT_TRUE(read_file(dir_ / "boots/boot2.img") == image);
  EXPECT_TRUE(read_file(dir_ / "boot2-check.img") == image);
}

TEST_F(Examples, AllDiagnosticsWithTheAnswersFile) {
  start();
  EXPECT_EQ(run("all-diagnostics.rq", read_file(kExamples + "all-diagnostics.answers")),
            "Start USB Test ... \n\\/ USB TEST PASSED\n"
            "Start RTC Test ... \n\\/  RTC TEST PASSED\n"
            "Start FLASH Test ... \n\\/ FLASH TEST PASSED\n"
            "Start GBA Test ... \n"
            "Did you see 'Quorbel Dexlink Diags on Gba'? (y/n)?\n"
            "\\/ GBA TEST PASSED\n"
            "Start AUDIO Test ... \n"
            "Press a to start audio tone test (c to cancel) ...\n"
            "Did you hear a tone on left channel followed by a tone on right channel(y/n)?\n"
            "Press r to record 5 seconds sound ...\n"
            "Press p to play back record sound\n"
            "Did you hear the playback sound? (y/n)?\n"
            "\\/  AUDIO TEST PASSED\n");
}

TEST_F(Examples, ArchiveLogTwiceKeepsEveryCopy) {
  fs::create_directories(root() + "/logs");
  write_file(root() + "/logs/device.log", "first log\n");
  start();
  EXPECT_EQ(run("archive-log.rq"),
            "Download 0.0 KB <time>\n"
            "/archive contains 1 files\n1 File device.log \n"
            "/logs contains 0 files\n");
  EXPECT_EQ(read_file(root() + "/archive/device.log"), "first log\n");
  EXPECT_EQ(read_file(dir_ / "device.log"), "first log\n");

  // A second run with a new log: the archived copy is not overwritten and the new log
  // stays in place; only the harmless failures are reported.
  write_file(root() + "/logs/device.log", "second log\n");
  EXPECT_EQ(run("archive-log.rq"),
            "ERROR: file already exists \nmkdir command failed errcode = 7\n"
            "ERROR: file already exists \nmv command failed errcode = 7\n"
            "Download 0.0 KB <time>\n"
            "/archive contains 1 files\n1 File device.log \n"
            "/logs contains 1 files\n1 File device.log \n");
  EXPECT_EQ(read_file(root() + "/archive/device.log"), "first log\n");
  EXPECT_EQ(read_file(root() + "/logs/device.log"), "second log\n");
}

}  // namespace
}  // namespace rq::e2e
