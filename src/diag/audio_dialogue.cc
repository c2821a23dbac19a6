// The exchange, when the operator answers a, y, r, p, y: ready, command (0x20, 1);
// ready, go; status; ready, go; status; ready, go; status; status. The device answers a
// cancel at the first prompt with a status too, but a cancel at the record or playback
// prompt with none.
#include "diag/audio_dialogue.h"

#include <cstdio>

#include "diag/prompts.h"
#include "link/message.h"
#include "link/protocol.h"

namespace rq {

namespace {

constexpr const char* kReportLine = "diag audio failed rcving err = %d\n";

int verdict_failed(Connection& c) {
  fputs("X  AUDIO TEST FAILED(according to output)\n", c.console_out);
  return -1;
}

int verdict_passed(Connection& c) {
  fputs("\\/  AUDIO TEST PASSED\n", c.console_out);
  return 0;
}

int verdict_canceled(Connection& c) {
  fputs(" ??   AUDIO TEST CANCELED\n", c.console_out);
  return -1;
}

// Reads the status that ends a stage; a bad or lost status is reported here.
bool stage_succeeded(Connection& c) {
  int code = receive_status(c);
  if (code == 0) return true;
  print_failure_report(c, code, kReportLine);
  return false;
}

}  // namespace

int run_audio_test(Connection& c) {
  int code = send_command(c, kCmdDiag, kDiagAudio, 0);
  if (code != 0) {
    print_failure_report(c, code, kReportLine);
    return -1;
  }
  fputs("Start AUDIO Test ... \n", c.console_out);

  int start = key_prompt(c, "Press a to start audio tone test (c to cancel) ...", 'a', 'c');
  // Refused, or no answer: nothing went through, so no status is due for this stage.
  if (start < 0) return verdict_canceled(c);

  // A cancel here is answered with a status and followed by the tone question like a go;
  // a yes then carries the dialogue on as if the test had been started.
  bool tone_heard = stage_succeeded(c) &&
                    yes_no_prompt(c,
                                  "Did you hear a tone on left channel followed by a tone on "
                                  "right channel(y/n)?",
                                  'y', 'n') == kAnswerYes;
  if (!tone_heard) return start == kKeyGoSent ? verdict_failed(c) : verdict_canceled(c);

  if (key_prompt(c, "Press r to record 5 seconds sound ...", 'r', 'c') != kKeyGoSent)
    return verdict_canceled(c);
  if (!stage_succeeded(c)) return verdict_failed(c);

  if (key_prompt(c, "Press p to play back record sound", 'p', 'c') != kKeyGoSent)
    return verdict_canceled(c);
  if (!stage_succeeded(c)) return verdict_failed(c);

  int playback = yes_no_prompt(c, "Did you hear the playback sound? (y/n)?", 'y', 'n');
  // The device ends the test with one more status, whatever the operator answered.
  if (!stage_succeeded(c)) return verdict_failed(c);
  return playback == kAnswerYes ? verdict_passed(c) : verdict_failed(c);
}

}  // namespace rq
