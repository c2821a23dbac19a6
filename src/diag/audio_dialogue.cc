#include "diag/audio_dialogue.h"

#include <cstdio>

#include "device/diag.h"
#include "diag/prompts.h"
#include "shell/failure_report.h"

namespace rq {

int run_audio_test(Shell& c) {
  static const char kReportLine[] = "diag audio failed rcving err = %d\n";
  ConsoleOperator console{&c, "Start AUDIO Test ... \n"};
  Operator op = console_operator(console);
  AudioResult r = run_audio_dialogue(c.device, op);
  switch (r.failure) {
    case AudioFailure::kNone: break;
    case AudioFailure::kCommandRefused: print_failure_report(c, r.code, kReportLine); return -1;
    case AudioFailure::kStatus: print_failure_report(c, r.code, kReportLine); break;
    case AudioFailure::kGoRefused:
      print_failure_report(c, r.code, kReportLine);
      // The verdict ends this line.
      fputs("X audio diag test Failed", c.console_out);
      break;
    case AudioFailure::kCancelRefused:
      print_failure_report(c, r.code, "diag cancel failed rcving err = %d\n");
      break;
  }
  switch (r.verdict) {
    case AudioVerdict::kPassed: fputs("\\/  AUDIO TEST PASSED\n", c.console_out); return 0;
    case AudioVerdict::kFailed:
      fputs("X  AUDIO TEST FAILED(according to output)\n", c.console_out);
      return -1;
    case AudioVerdict::kCanceled: fputs(" ??   AUDIO TEST CANCELED\n", c.console_out); return -1;
    case AudioVerdict::kNotStarted: break;
  }
  return -1;
}

}  // namespace rq
