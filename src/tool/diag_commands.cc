#include "tool/diag_commands.h"

#include <cctype>
#include <cstdio>

#include "device/diag.h"
#include "link/status.h"
#include "tool/ask_program.h"
#include "tool/connect.h"

namespace rq {

namespace {

// The words are rqtool's own; none holds a double quote or a percent sign, so that a
// fixture's program receives each one as a single argument on every platform.
const char* question_words(Question q) {
  switch (q) {
    case Question::kToneHeard:
      return "Did you hear a tone on the left channel, then one on the right channel?";
    case Question::kPlaybackHeard: return "Did you hear the recording played back?";
    case Question::kGbaTextSeen: return "Did the GBA screen show 'Quorbel Dexlink Diags on Gba'?";
  }
  return "";
}

const char* key_words(KeyPrompt p) {
  switch (p) {
    case KeyPrompt::kStartTone: return "Start the tone test?";
    case KeyPrompt::kRecord: return "Record 5 seconds of sound?";
    case KeyPrompt::kPlayback: return "Play the recording back?";
  }
  return "";
}

// Why no verdict could be reached, when the answers failed.
enum class NoAnswer { kNone, kInputEnded, kProgramFailed };

struct FixtureOperator {
  Tool* t = nullptr;
  const DiagArgs* args = nullptr;
  DiagReport* report = nullptr;
  NoAnswer no_answer = NoAnswer::kNone;
  int program_status = 0;  // kProgramFailed: what the program returned (-1: did not run)
  bool cancelled = false;  // a key prompt was answered with cancel
};

// Reads one line of standard input into word (lower case, blanks trimmed). False at its end.
bool read_answer(std::string& word) {
  char line[256];
  if (!fgets(line, sizeof line, stdin)) return false;
  word.clear();
  for (const char* p = line; *p; ++p) {
    unsigned char ch = static_cast<unsigned char>(*p);
    if (!std::isspace(ch)) word += static_cast<char>(std::tolower(ch));
  }
  // The rest of an over-long line belongs to this answer, not to the next question.
  size_t n = std::char_traits<char>::length(line);
  if (n > 0 && line[n - 1] != '\n') {
    int ch;
    while ((ch = fgetc(stdin)) != EOF && ch != '\n') {
    }
  }
  return true;
}

// Asks prompt on standard error and reads answers until one of the given words comes.
// Returns 1 (yes/go), 0 (no/cancel), or -1 when standard input ended first.
int ask_stdin(Tool& t, const char* prompt, const char* yes_words[], const char* no_words[],
              const char* hint) {
  for (;;) {
    fprintf(t.err, "%s %s ", prompt, hint);
    fflush(t.err);
    std::string word;
    if (!read_answer(word)) {
      fputc('\n', t.err);
      return -1;
    }
    // Answers from a pipe are shown, so that a log of standard error reads as a dialogue.
    if (!stdin_on_terminal()) fprintf(t.err, "%s\n", word.c_str());
    for (const char** w = yes_words; *w; ++w)
      if (word == *w) return 1;
    for (const char** w = no_words; *w; ++w)
      if (word == *w) return 0;
  }
}

// Returns 1, 0, or -1 with no_answer set.
int ask_one(FixtureOperator& o, const char* prompt, bool key, DiagAnswer& a) {
  if (!o.args->ask.empty()) {
    a.by = AnsweredBy::kAsk;
    int status = run_ask_program(o.args->ask, prompt);
    if (status == 0 || status == 1) return status == 0 ? 1 : 0;
    o.no_answer = NoAnswer::kProgramFailed;
    o.program_status = status;
    return -1;
  }
  a.by = AnsweredBy::kStdin;
  static const char* kYes[] = {"y", "yes", nullptr};
  static const char* kNo[] = {"n", "no", nullptr};
  static const char* kGo[] = {"", "g", "go", nullptr};
  static const char* kCancel[] = {"c", "cancel", nullptr};
  int answer = key ? ask_stdin(*o.t, prompt, kGo, kCancel, "[Enter or g: go, c: cancel]")
                   : ask_stdin(*o.t, prompt, kYes, kNo, "(y/n)");
  if (answer < 0) o.no_answer = NoAnswer::kInputEnded;
  return answer;
}

void started(void* context) {
  auto& o = *static_cast<FixtureOperator*>(context);
  if (!o.t->options.quiet)
    fprintf(o.t->err, "diag %s: the test is running\n", o.args->test.c_str());
}

Answer ask(void* context, Question q) {
  auto& o = *static_cast<FixtureOperator*>(context);
  DiagAnswer a{PromptKind::kQuestion, question_words(q)};
  Answer result = Answer::kEnd;
  if (o.cancelled) {
    // After a cancel the device still asks about the tone; the operator has already said
    // the test is not to go on, and a no keeps it cancelled.
    a.by = AnsweredBy::kCancel;
    result = Answer::kNo;
  } else if (o.no_answer == NoAnswer::kNone) {
    int answer = ask_one(o, a.prompt.c_str(), false, a);
    if (answer >= 0) result = answer ? Answer::kYes : Answer::kNo;
  }
  if (result != Answer::kEnd)
    a.answer = result == Answer::kYes ? PromptAnswer::kYes : PromptAnswer::kNo;
  o.report->answers.push_back(a);
  return result;
}

Key await_key(void* context, KeyPrompt p) {
  auto& o = *static_cast<FixtureOperator*>(context);
  DiagAnswer a{PromptKind::kKey, key_words(p)};
  Key result = Key::kEnd;
  if (o.args->go) {
    a.by = AnsweredBy::kGo;
    result = Key::kGo;
  } else if (o.no_answer == NoAnswer::kNone) {
    int answer = ask_one(o, a.prompt.c_str(), true, a);
    if (answer >= 0) result = answer ? Key::kGo : Key::kCancel;
  }
  if (result != Key::kEnd)
    a.answer = result == Key::kGo ? PromptAnswer::kGo : PromptAnswer::kCancel;
  o.cancelled = o.cancelled || result == Key::kCancel;
  o.report->answers.push_back(a);
  return result;
}

// No verdict: the answers ran out or the fixture's program gave none.
int no_verdict(Tool& t, const FixtureOperator& o) {
  DiagReport& r = *o.report;
  r.outcome = DiagOutcome::kNone;
  std::string text = "diag " + r.test + ": no verdict: ";
  if (o.no_answer == NoAnswer::kInputEnded) {
    text += "standard input ended before the question was answered";
  } else if (o.program_status < 0) {
    text += "the answer program " + o.args->ask + " did not run or did not exit";
  } else {
    text += "the answer program " + o.args->ask + " exited " + std::to_string(o.program_status) +
            " (0 means yes, 1 no)";
  }
  return tool_fail(t, kExitUsage, FailStep::kAnswer, o.program_status, text);
}

int test_failed(Tool& t, DiagReport& r, int code) {
  r.outcome = DiagOutcome::kFailed;
  r.status = code;
  char text[160];
  snprintf(text, sizeof text, "diag %s failed: the device answered %s (status %d)", r.test.c_str(),
           status_text(code), code);
  return tool_fail(t, kExitDevice, FailStep::kTest, code, text);
}

int run_simple(Tool& t, uint8_t code, Operator& op, FixtureOperator& o) {
  DiagReport& r = *o.report;
  DiagResult d = run_diag_test(t.device, code, op);
  if (d.result.step == Step::kCommand || link_failed(t))
    return device_fail(t, "diag " + r.test, d.result);
  if (!d.result.ok()) return test_failed(t, r, d.result.code);
  if (o.no_answer != NoAnswer::kNone) return no_verdict(t, o);
  if (!d.passed) {
    r.outcome = DiagOutcome::kFailed;
    return tool_fail(t, kExitDevice, FailStep::kTest, 0,
                     "diag " + r.test + " failed: the answer was no");
  }
  r.outcome = DiagOutcome::kPassed;
  return kExitOk;
}

int run_audio(Tool& t, Operator& op, FixtureOperator& o) {
  DiagReport& r = *o.report;
  AudioResult a = run_audio_dialogue(t.device, op);
  if (link_failed(t)) return device_fail(t, "diag aud", failed_at(Step::kStatus, a.code));
  switch (a.failure) {
    case AudioFailure::kNone: break;
    case AudioFailure::kCommandRefused:
      return device_fail(t, "diag aud", failed_at(Step::kCommand, a.code));
    case AudioFailure::kGoRefused:
      return device_fail(t, "diag aud: go", failed_at(Step::kCommand, a.code));
    case AudioFailure::kCancelRefused:
      return device_fail(t, "diag aud: cancel", failed_at(Step::kCommand, a.code));
    case AudioFailure::kStatus: return test_failed(t, r, a.code);
  }
  if (o.no_answer != NoAnswer::kNone) return no_verdict(t, o);
  switch (a.verdict) {
    case AudioVerdict::kPassed: r.outcome = DiagOutcome::kPassed; return kExitOk;
    case AudioVerdict::kCanceled:
      r.outcome = DiagOutcome::kCancelled;
      return tool_fail(t, kExitCancelled, FailStep::kCancel, 0, "diag aud: cancelled");
    case AudioVerdict::kFailed:
    case AudioVerdict::kNotStarted: break;
  }
  r.outcome = DiagOutcome::kFailed;
  return tool_fail(t, kExitDevice, FailStep::kTest, 0, "diag aud failed: the answer was no");
}

}  // namespace

std::vector<std::string> diag_test_words() {
  std::vector<std::string> words;
  for (const DiagTestName& t : kDiagTestNames)
    if (t.test != kDiagAudio) words.emplace_back(t.word);
  for (const DiagTestName& t : kDiagTestNames)
    if (t.test == kDiagAudio) words.emplace_back(t.word);
  return words;
}

const char* prompt_kind_name(PromptKind kind) {
  return kind == PromptKind::kKey ? "key" : "question";
}

const char* prompt_answer_name(PromptAnswer answer) {
  switch (answer) {
    case PromptAnswer::kNone: return "none";
    case PromptAnswer::kGo: return "go";
    case PromptAnswer::kCancel: return "cancel";
    case PromptAnswer::kYes: return "yes";
    case PromptAnswer::kNo: return "no";
  }
  return "none";
}

const char* answered_by_name(AnsweredBy by) {
  switch (by) {
    case AnsweredBy::kNone: return "none";
    case AnsweredBy::kGo: return "go";
    case AnsweredBy::kStdin: return "stdin";
    case AnsweredBy::kAsk: return "ask";
    case AnsweredBy::kCancel: return "cancel";
  }
  return "none";
}

const char* diag_outcome_name(DiagOutcome outcome) {
  switch (outcome) {
    case DiagOutcome::kNone: return "none";
    case DiagOutcome::kPassed: return "passed";
    case DiagOutcome::kFailed: return "failed";
    case DiagOutcome::kCancelled: return "cancelled";
  }
  return "none";
}

int tool_diag(Tool& t, const DiagArgs& a, DiagReport& r) {
  r.test = a.test;
  const DiagTestName* test = diag_test_named(a.test);
  if (!test) return usage_fail(t, "unknown test " + a.test);
  uint8_t code = test->test;
  if (tool_connect(t) != 0) return kExitLink;
  // The operator's time between stages is not counted: nothing is being received then.
  set_exchange_timeout(t, kLongCommandSeconds);

  FixtureOperator o;
  o.t = &t;
  o.args = &a;
  o.report = &r;
  Operator op;
  op.context = &o;
  op.test_started = started;
  op.ask = ask;
  op.await_key = await_key;
  return code == kDiagAudio ? run_audio(t, op, o) : run_simple(t, code, op, o);
}

}  // namespace rq
