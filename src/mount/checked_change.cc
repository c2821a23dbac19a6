#include "mount/checked_change.h"

#include <cerrno>
#include <climits>

namespace rq::mount {

namespace {
constexpr int kNotRun = INT_MIN;
}

ChangeResult run_change(Worker& worker, const Change& change, const ChangeCheck& check,
                        MountLog& log, const char* what) {
  ChangeResult r;
  r.code = kNotRun;
  int run = worker.run([&](LinkSession& s) { return r.code = change(s), 0; });
  if (r.code == kNotRun) return ChangeResult{run ? run : -EIO, kCodeLinkLost};
  if (r.code != kCodeLinkLost) return r;
  // The answer was lost: look before sending it again.
  bool happened = false;
  r.code = kNotRun;
  run = worker.run(
      [&](LinkSession& s) {
        r.code = check(s, &happened);
        if (r.code == 0 && !happened) r.code = change(s);
        return 0;
      },
      Worker::now_ms() + kLostAnswerWaitMs);
  if (r.code == kNotRun || r.code == kCodeLinkLost) return ChangeResult{-EIO, kCodeLinkLost};
  if (r.code == 0)
    log_line(log, "%s: its answer was lost with the link; %s", what,
             happened ? "the device had done it" : "sent again after the reconnect");
  return r;
}

}  // namespace rq::mount
