// The `diag` command: picks a device self-test by its word and runs it. The simple tests
// send one command message and read one status; the GBA test then asks the operator, and
// the audio test is a dialogue of its own (device/diag.h, presented in audio_dialogue.h).
#include "diag/diag_command.h"

#include <cstdio>

#include "device/diag.h"
#include "diag/audio_dialogue.h"
#include "diag/prompts.h"
#include "shell/args.h"
#include "shell/failure_report.h"

namespace rq {

namespace {

constexpr size_t kKeywordLength = 4;  // "diag"

struct SimpleTest {
  const char* refused_line;  // the command message was refused
  const char* start_line;
  const char* status_line;  // the test's status was not 0
  const char* pass_line;    // nullptr: the operator confirms what the device showed
};

const SimpleTest kUsbTest = {"diag usb failed rcving err = %d\n", "Start USB Test ... \n",
                             "diag usb failed errcode = %d\n", "\\/ USB TEST PASSED\n"};
const SimpleTest kRtcTest = {"diag rtc failed rcving err = %d\n", "Start RTC Test ... \n",
                             "diag rtc failed errcode = %d\n", "\\/  RTC TEST PASSED\n"};
const SimpleTest kFlashTest = {"diag flash failed rcving err = %d\n", "Start FLASH Test ... \n",
                               "diag flash failed errcode = %d\n", "\\/ FLASH TEST PASSED\n"};
const SimpleTest kGbaTest = {"diag GBA failed rcving err = %d\n", "Start GBA Test ... \n",
                             "diag GBA failed errcode = %d\n", nullptr};

// The simple tests' lines, by the test's code; nullptr for the audio dialogue.
const SimpleTest* simple_test(uint8_t test) {
  switch (test) {
    case kDiagUsb: return &kUsbTest;
    case kDiagRtc: return &kRtcTest;
    case kDiagFlash: return &kFlashTest;
    case kDiagGba: return &kGbaTest;
    default: return nullptr;
  }
}

int run_simple_test(Shell& c, uint8_t test, const SimpleTest& t) {
  ConsoleOperator console{&c, t.start_line};
  Operator op = console_operator(console);
  DiagResult r = run_diag_test(c.device, test, op);
  if (r.result.step == Step::kCommand) {
    print_failure_report(c, r.result.code, t.refused_line);
    return -1;
  }
  if (!r.result.ok()) {
    print_failure_report(c, r.result.code, t.status_line);
    return -1;
  }
  if (!t.pass_line) {
    // The GBA test: the operator confirmed (or not) the text that the device showed.
    fputs(r.passed ? "\\/ GBA TEST PASSED\n" : " X GBA Test Failed \n", c.console_out);
    return r.passed ? 0 : -1;
  }
  fputs(t.pass_line, c.console_out);
  return 0;
}

}  // namespace

int cmd_diag(Shell& c, char* command) {
  // The keyword is skipped by its own length; the dispatcher guarantees it is there, but a
  // shorter text must not be skipped past its end.
  const char* word = command;
  for (size_t i = 0; i < kKeywordLength && *word; ++i) ++word;
  word = skip_blanks(word);
  // usb is accepted although the help text leaves it out.
  if (const DiagTestName* test = diag_test_for_word(word)) {
    const SimpleTest* simple = simple_test(test->test);
    return simple ? run_simple_test(c, test->test, *simple) : run_audio_test(c);
  }
  note_outcome(c, CommandOutcome::kUsage);
  fprintf(c.console_out, "Error: unsupport diag command <%s>\n", command);
  return -1;
}

}  // namespace rq
