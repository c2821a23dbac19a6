// mv, rm and mkdir change the device once. When the link is lost while one of them is out,
// its answer is lost with it, and the change may or may not have happened: sent again
// blindly it would fail ("already exists", "does not exist") where it had in fact worked. So
// the mount waits briefly for the worker's reconnect, looks with a listing whether the change
// is there, and sends it again only if it is not.
#pragma once

#include <cstdint>
#include <functional>

#include "mount/mount_log.h"
#include "mount/worker.h"

namespace rq::mount {

// How long an operation whose answer was lost waits for the reconnect before giving EIO.
constexpr int64_t kLostAnswerWaitMs = 2000;

// Sends the change; returns the device's code (kCodeLinkLost when the link went).
using Change = std::function<int(LinkSession&)>;
// Looks whether the change is on the device: returns 0 with *happened set, or the device's
// code of the look itself.
using ChangeCheck = std::function<int(LinkSession&, bool* happened)>;

struct ChangeResult {
  int run = 0;   // 0, or the worker's negative errno (the link is down)
  int code = 0;  // the device's code for the change (0: it is done)
};

ChangeResult run_change(Worker& worker, const Change& change, const ChangeCheck& check,
                        MountLog& log, const char* what);

}  // namespace rq::mount
