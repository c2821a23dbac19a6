// The `diag` command: picks a device self-test by its word and runs it. The simple tests
// send one command message and read one status; the GBA test then asks the operator, and
// the audio test is a dialogue of its own (device/diag.h). The questions and key prompts,
// with their words and keys, are asked here on behalf of the device operations; answers
// always come from the operator's console (the session's console reader), also when `diag`
// came from a script.
#include "shell/diag_commands.h"

#include <cstdio>

#include "device/diag.h"
#include "shell/args.h"
#include "shell/console.h"
#include "shell/failure_report.h"

namespace rq {

namespace {

// The operator at this shell's console. start_line is printed once the test is running.
struct ConsoleOperator {
  Shell* c = nullptr;
  const char* start_line = nullptr;
};

// Room for 255 characters of an answer and the terminating zero; longer lines arrive in
// pieces, and each piece is an answer of its own.
constexpr int kAnswerSize = 256;

// Reads the next answer and returns its first byte, or -1 at the end of console input.
// Answers come through the same reader as console commands (which flushes the question
// first), so typed-ahead lines are never split between two readers. The test is on the raw
// first byte: case-sensitive, no blanks skipped.
int next_answer_key(Shell& c) {
  char answer[kAnswerSize];
  if (!console_read_line(c, answer, kAnswerSize, nullptr)) return -1;
  return static_cast<unsigned char>(answer[0]);
}

bool is_key(int first_byte, char key) { return first_byte == static_cast<unsigned char>(key); }

const char* question_text(Question q) {
  switch (q) {
    case Question::kToneHeard:
      return "Did you hear a tone on left channel followed by a tone on right channel(y/n)?";
    case Question::kPlaybackHeard: return "Did you hear the playback sound? (y/n)?";
    case Question::kGbaTextSeen: return "Did you see 'Quorbel Dexlink Diags on Gba'? (y/n)?";
  }
  return "";
}

struct KeyText {
  const char* text;
  char go_key;
};

KeyText key_text(KeyPrompt p) {
  switch (p) {
    case KeyPrompt::kStartTone: return {"Press a to start audio tone test (c to cancel) ...", 'a'};
    case KeyPrompt::kRecord: return {"Press r to record 5 seconds sound ...", 'r'};
    case KeyPrompt::kPlayback: return {"Press p to play back record sound", 'p'};
  }
  return {"", 'a'};
}

constexpr char kCancelKey = 'c';

void started(void* context) {
  auto& o = *static_cast<ConsoleOperator*>(context);
  fputs(o.start_line, o.c->console_out);
}

// Prints the question and a line feed, then reads answers until one starts with y or n.
Answer ask(void* context, Question q) {
  Shell& c = *static_cast<ConsoleOperator*>(context)->c;
  fprintf(c.console_out, "%s\n", question_text(q));
  for (;;) {
    int key = next_answer_key(c);
    if (key < 0) return Answer::kEnd;
    if (is_key(key, 'y')) return Answer::kYes;
    if (is_key(key, 'n')) return Answer::kNo;
  }
}

// Prints the prompt and a line feed, then reads answers until one starts with the go key
// (tested first) or the cancel key.
Key await_key(void* context, KeyPrompt p) {
  Shell& c = *static_cast<ConsoleOperator*>(context)->c;
  KeyText k = key_text(p);
  fprintf(c.console_out, "%s\n", k.text);
  for (;;) {
    int key = next_answer_key(c);
    if (key < 0) return Key::kEnd;
    if (is_key(key, k.go_key)) return Key::kGo;
    if (is_key(key, kCancelKey)) return Key::kCancel;
  }
}

// The operator at this shell's console, asked on behalf of the device operations.
Operator console_operator(ConsoleOperator& o) {
  Operator op;
  op.context = &o;
  op.test_started = started;
  op.ask = ask;
  op.await_key = await_key;
  return op;
}

// The audio test at the console: the device dialogue with the operator's prompts, then its
// failure report and verdict line. Only a test that passed ends kOk; the verdict line is
// printed either way.
CommandOutcome run_audio_test(Shell& c) {
  static const char kReportLine[] = "diag audio failed rcving err = %d\n";
  ConsoleOperator console{&c, "Start AUDIO Test ... \n"};
  Operator op = console_operator(console);
  AudioResult r = run_audio_dialogue(c.device, op);
  // A failure report decides how the test ended; without one, the verdict does.
  CommandOutcome failure = CommandOutcome::kDevice;
  switch (r.failure) {
    case AudioFailure::kNone: break;
    case AudioFailure::kCommandRefused: return print_failure_report(c, r.code, kReportLine);
    case AudioFailure::kStatus: failure = print_failure_report(c, r.code, kReportLine); break;
    case AudioFailure::kGoRefused:
      failure = print_failure_report(c, r.code, kReportLine);
      // The verdict ends this line.
      fputs("X audio diag test Failed", c.console_out);
      break;
    case AudioFailure::kCancelRefused:
      failure = print_failure_report(c, r.code, "diag cancel failed rcving err = %d\n");
      break;
  }
  switch (r.verdict) {
    case AudioVerdict::kPassed:
      fputs("\\/  AUDIO TEST PASSED\n", c.console_out);
      return CommandOutcome::kOk;
    case AudioVerdict::kFailed:
      fputs("X  AUDIO TEST FAILED(according to output)\n", c.console_out);
      break;
    case AudioVerdict::kCanceled: fputs(" ??   AUDIO TEST CANCELED\n", c.console_out); break;
    case AudioVerdict::kNotStarted: break;
  }
  return failure;
}

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

CommandOutcome run_simple_test(Shell& c, uint8_t test, const SimpleTest& t) {
  ConsoleOperator console{&c, t.start_line};
  Operator op = console_operator(console);
  DiagResult r = run_diag_test(c.device, test, op);
  if (r.result.step == Step::kCommand)
    return print_failure_report(c, r.result.code, t.refused_line);
  if (!r.result.ok()) return print_failure_report(c, r.result.code, t.status_line);
  if (!t.pass_line) {
    // The GBA test: the operator confirmed (or not) the text that the device showed.
    fputs(r.passed ? "\\/ GBA TEST PASSED\n" : " X GBA Test Failed \n", c.console_out);
    return r.passed ? CommandOutcome::kOk : CommandOutcome::kDevice;
  }
  fputs(t.pass_line, c.console_out);
  return CommandOutcome::kOk;
}

}  // namespace

CommandOutcome cmd_diag(Shell& c, const CommandText& command) {
  const char* word = skip_blanks(command.args);
  // usb is accepted although the help text leaves it out.
  if (const DiagTestName* test = diag_test_for_word(word)) {
    const SimpleTest* simple = simple_test(test->test);
    return simple ? run_simple_test(c, test->test, *simple) : run_audio_test(c);
  }
  fprintf(c.console_out, "Error: unsupport diag command <%s>\n", command.line);
  return CommandOutcome::kUsage;
}

}  // namespace rq
