#include "diag/diag_command.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_proxy.h"
#include "support/console_text.h"

namespace rq {
namespace {

using testing::FakeProxy;
using testing::hex;
using testing::wire_matches;

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

using testing::kGbaQuestion;

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
    EXPECT_EQ(p.run(cmd_diag, k.line), k.out);
    auto f = p.sent_frames();
    if (*k.sent) {
      EXPECT_EQ(f.size(), 1u);
      if (!f.empty()) {
        EXPECT_TRUE(wire_matches(k.sent, f[0])) << hex(f[0]);
      }
    } else {
      EXPECT_TRUE(f.empty());
    }
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
  };
  run_cases(cases, std::size(cases));
}

}  // namespace
}  // namespace rq
