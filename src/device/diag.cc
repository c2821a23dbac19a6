#include "device/diag.h"

namespace rq {

namespace {

unsigned char fold(char ch) {
  auto c = static_cast<unsigned char>(ch);
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Both texts up to n characters, or up to the end of both, alike.
bool same_word_start(const char* a, const char* b, unsigned n) {
  for (unsigned i = 0; i < n; ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
    if (a[i] == '\0') return true;
  }
  return true;
}

}  // namespace

const DiagTestName* diag_test_for_word(const char* word) {
  for (const DiagTestName& t : kDiagTestNames)
    if (same_word_start(word, t.word, t.compared)) return &t;
  return nullptr;
}

const DiagTestName* diag_test_named(std::string_view name) {
  for (const DiagTestName& t : kDiagTestNames)
    if (name == t.word) return &t;
  return nullptr;
}

DiagResult run_diag_test(Device& d, uint8_t test, Operator& op) {
  DiagResult r;
  int code = send_command(d, kCmdDiag, test, 0);
  if (code != 0) {
    r.result = failed_at(Step::kCommand, code);
    return r;
  }
  op.test_started(op.context);
  // The device runs the test before it answers.
  code = receive_status(d);
  if (code != 0) {
    r.result = failed_at(Step::kStatus, code);
    return r;
  }
  // The GBA test shows a text that only the operator sees.
  r.passed = test != kDiagGba || op.ask(op.context, Question::kGbaTextSeen) == Answer::kYes;
  return r;
}

namespace {

enum class Sent { kGo, kCancel, kNothing, kGoRefused, kCancelRefused };

struct Dialogue {
  Device& d;
  Operator& op;
  AudioResult result;

  // Waits for the operator's key and sends go or cancel through the ready rule. At the end
  // of the operator's input nothing is sent, so no status is due for that stage.
  Sent key(KeyPrompt prompt) {
    Key k = op.await_key(op.context, prompt);
    if (k == Key::kEnd) return Sent::kNothing;
    bool go = k == Key::kGo;
    int code = send_command(d, go ? kCmdAudioGo : kCmdAudioCancel, 0, 0);
    if (code == 0) return go ? Sent::kGo : Sent::kCancel;
    result.failure = go ? AudioFailure::kGoRefused : AudioFailure::kCancelRefused;
    result.code = code;
    return go ? Sent::kGoRefused : Sent::kCancelRefused;
  }

  // Reads the status that ends a stage.
  bool stage_succeeded() {
    int code = receive_status(d);
    if (code == 0) return true;
    result.failure = AudioFailure::kStatus;
    result.code = code;
    return false;
  }

  AudioResult verdict(AudioVerdict v) {
    result.verdict = v;
    return result;
  }
};

}  // namespace

AudioResult run_audio_dialogue(Device& d, Operator& op) {
  Dialogue g{d, op, AudioResult{}};
  int code = send_command(d, kCmdDiag, kDiagAudio, 0);
  if (code != 0) {
    g.result.failure = AudioFailure::kCommandRefused;
    g.result.code = code;
    return g.result;
  }
  op.test_started(op.context);

  Sent start = g.key(KeyPrompt::kStartTone);
  // Refused, or no answer: nothing went through, so no status is due for this stage.
  if (start != Sent::kGo && start != Sent::kCancel) return g.verdict(AudioVerdict::kCanceled);

  // A cancel here is answered with a status and followed by the tone question like a go;
  // a yes then carries the dialogue on as if the test had been started.
  bool tone_heard = g.stage_succeeded() && op.ask(op.context, Question::kToneHeard) == Answer::kYes;
  if (!tone_heard)
    return g.verdict(start == Sent::kGo ? AudioVerdict::kFailed : AudioVerdict::kCanceled);

  if (g.key(KeyPrompt::kRecord) != Sent::kGo) return g.verdict(AudioVerdict::kCanceled);
  if (!g.stage_succeeded()) return g.verdict(AudioVerdict::kFailed);

  if (g.key(KeyPrompt::kPlayback) != Sent::kGo) return g.verdict(AudioVerdict::kCanceled);
  if (!g.stage_succeeded()) return g.verdict(AudioVerdict::kFailed);

  Answer playback = op.ask(op.context, Question::kPlaybackHeard);
  // The device ends the test with one more status, whatever the operator answered.
  if (!g.stage_succeeded()) return g.verdict(AudioVerdict::kFailed);
  return g.verdict(playback == Answer::kYes ? AudioVerdict::kPassed : AudioVerdict::kFailed);
}

}  // namespace rq
