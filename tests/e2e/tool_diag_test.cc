// rqtool diag against rqsim: each test's verdict and exit status, key prompts answered in
// advance with --go, observations answered on standard input or by a fixture's program, a
// cancel, answers that run out (no verdict), and a device whose test fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/tool_fixture.h"

namespace rq::e2e {
namespace fs = std::filesystem;
namespace {

constexpr int kExitCancelled = 6;

struct Case {
  std::vector<std::string> args;  // after "diag"
  std::string stdin_text;
  int exit;
  std::string out;  // the verdict line ("" when there is none)
};

class ToolDiag : public ToolTest {
 protected:
  // An answer program in the scratch directory: appends its arguments, one line each, to
  // asked.txt and exits with status.
  std::string answer_program(const std::string& name, int status) {
    std::string path = dir_ / name;
    write_file(path,
               "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> asked.txt; done\n"
               "exit " +
                   std::to_string(status) + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return "./" + name;
  }
  std::string asked() { return read_file(dir_ / "asked.txt"); }

  void run_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      std::vector<std::string> args = {"diag"};
      args.insert(args.end(), c.args.begin(), c.args.end());
      e2e::Run r = tool(args, c.stdin_text);
      EXPECT_EQ(r.exit_status, c.exit) << describe(args, r) << "\n  stdin: " << c.stdin_text;
      EXPECT_EQ(r.out, c.out) << describe(args, r) << "\n  stdin: " << c.stdin_text;
    }
  }
};

TEST_F(ToolDiag, VerdictsFromGoAndStandardInput) {
  start();
  run_cases({
      // No prompt at all in the simple tests.
      {{"usb"}, "", kExitOk, "usb: passed\n"},
      {{"rtc"}, "", kExitOk, "rtc: passed\n"},
      {{"flash", "--go"}, "", kExitOk, "flash: passed\n"},
      // The GBA text is an observation: --go never answers it.
      {{"gba", "--go"}, "y\n", kExitOk, "gba: passed\n"},
      {{"gba"}, "n\n", kExitDevice, "gba: failed\n"},
      // Unknown words are asked again; case and blanks do not matter.
      {{"gba"}, "maybe\n  YES \n", kExitOk, "gba: passed\n"},
      // The audio test with --go: the two observations still come from stdin.
      {{"aud", "--go"}, "y\ny\n", kExitOk, "aud: passed\n"},
      {{"aud", "--go"}, "n\n", kExitDevice, "aud: failed\n"},
      {{"aud", "--go"}, "y\nno\n", kExitDevice, "aud: failed\n"},
      // Every prompt on stdin: an empty line or g goes on.
      {{"aud"}, "g\ny\n\ngo\ny\n", kExitOk, "aud: passed\n"},
      // Cancels at the first and at the second key prompt.
      {{"aud"}, "c\n", kExitCancelled, "aud: cancelled\n"},
      {{"aud"}, "g\ny\ncancel\n", kExitCancelled, "aud: cancelled\n"},
  });
}

TEST_F(ToolDiag, AnswersThatRunOutGiveNoVerdict) {
  start();
  std::string broken = answer_program("broken.sh", 3);
  run_cases({
      {{"gba"}, "", kExitUsage, ""},
      {{"gba"}, "what\n", kExitUsage, ""},
      {{"aud"}, "", kExitUsage, ""},             // at the first key prompt
      {{"aud", "--go"}, "", kExitUsage, ""},     // at the tone question
      {{"aud", "--go"}, "y\n", kExitUsage, ""},  // at the playback question
      {{"aud"}, "g\ny\ng\n", kExitUsage, ""},    // at the playback key prompt
      // A program that says neither yes nor no, or cannot be run.
      {{"gba", "--ask", broken}, "y\n", kExitUsage, ""},
      {{"gba", "--ask", "./missing-program"}, "y\n", kExitUsage, ""},
  });
  e2e::Run r = tool({"diag", "gba"}, "");
  EXPECT_NE(r.err.find("no verdict: standard input ended before the question was answered"),
            std::string::npos)
      << r.err;
  r = tool({"diag", "gba", "--ask", broken});
  EXPECT_NE(r.err.find("exited 3 (0 means yes, 1 no)"), std::string::npos) << r.err;
}

TEST_F(ToolDiag, AnswerProgramGetsEachQuestionAsOneArgument) {
  start();
  std::string yes = answer_program("yes.sh", 0);
  std::string no = answer_program("no.sh", 1);

  // Standard input is not read when a program answers.
  e2e::Run r = tool({"diag", "gba", "--ask", yes}, "n\n");
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"diag", "gba"}, r);
  EXPECT_EQ(r.out, "gba: passed\n");
  EXPECT_EQ(asked(), "Did the GBA screen show 'Quorbel Dexlink Diags on Gba'?\n");

  fs::remove(dir_ / "asked.txt");
  r = tool({"diag", "gba", "--ask", no});
  EXPECT_EQ(r.exit_status, kExitDevice) << describe({"diag", "gba"}, r);
  EXPECT_EQ(r.out, "gba: failed\n");

  // With --go the program is asked the observations only; without it, the key prompts too
  // (yes goes on, no cancels).
  fs::remove(dir_ / "asked.txt");
  r = tool({"diag", "aud", "--go", "--ask", yes});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"diag", "aud"}, r);
  EXPECT_EQ(asked(),
            "Did you hear a tone on the left channel, then one on the right channel?\n"
            "Did you hear the recording played back?\n");

  fs::remove(dir_ / "asked.txt");
  r = tool({"diag", "aud", "--ask", yes});
  EXPECT_EQ(r.exit_status, kExitOk) << describe({"diag", "aud"}, r);
  EXPECT_EQ(asked(),
            "Start the tone test?\n"
            "Did you hear a tone on the left channel, then one on the right channel?\n"
            "Record 5 seconds of sound?\n"
            "Play the recording back?\n"
            "Did you hear the recording played back?\n");

  fs::remove(dir_ / "asked.txt");
  r = tool({"diag", "aud", "--ask", no});
  EXPECT_EQ(r.exit_status, kExitCancelled) << describe({"diag", "aud"}, r);
  EXPECT_EQ(asked(), "Start the tone test?\n");
  // What the program prints goes to standard error, never among the results.
  EXPECT_EQ(r.out, "aud: cancelled\n");
}

TEST_F(ToolDiag, FailingDeviceTestsExitOne) {
  start({"--diag-status", "rtc=5", "--diag-status", "gba=2", "--diag-status", "aud=3"});
  run_cases({
      {{"rtc"}, "", kExitDevice, "rtc: failed\n"},
      {{"usb"}, "", kExitOk, "usb: passed\n"},
      // No question is asked when the device already failed the test.
      {{"gba"}, "", kExitDevice, "gba: failed\n"},
      {{"aud", "--go"}, "", kExitDevice, "aud: failed\n"},
  });
  e2e::Run r = tool({"diag", "rtc"});
  EXPECT_NE(r.err.find("diag rtc failed: the device answered"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(status 5)"), std::string::npos) << r.err;
}

TEST_F(ToolDiag, UsageErrors) {
  start();
  for (std::vector<std::string> args : {std::vector<std::string>{"diag"},
                                        {"diag", "memory"},
                                        {"diag", "usb", "rtc"},
                                        {"diag", "--ask"}}) {
    e2e::Run r = tool(args);
    EXPECT_EQ(r.exit_status, kExitUsage) << describe(args, r);
    EXPECT_EQ(r.out, "") << describe(args, r);
  }
}

}  // namespace
}  // namespace rq::e2e
