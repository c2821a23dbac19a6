// The one thread that owns the link. FUSE requests that need the device hand it a job and
// wait; everything else is answered from the caches without waiting for it.
//
// While the link is down, jobs fail at once with EIO and the worker reconnects in the
// background with a growing pause (kBackoffFirstMs doubling up to kBackoffMaxMs). With an
// idle time set, the link is closed after that long without a job and opened again for the
// next one, so another client can use the proxy in between. Every (re)connect after the
// first starts a new epoch and runs the reconnect hook before the next job.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "device/connect.h"
#include "device/device.h"
#include "mount/mount_log.h"

namespace rq::mount {

constexpr int64_t kBackoffFirstMs = 250;
constexpr int64_t kBackoffMaxMs = 4000;

// What a job gets: the connected device, and a flag it sets (through track) when an exchange
// lost the link, so the worker closes it and reconnects.
struct LinkSession {
  Device& device;
  bool lost = false;
  Result track(Result r) {
    if (r.code == kCodeLinkLost) lost = true;
    return r;
  }
};

class Worker {
 public:
  // A job returns 0 or a negative errno.
  using Job = std::function<int(LinkSession&)>;

  Worker(Device& device, const ConnectSettings& settings, int64_t idle_ms, MountLog& log);
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts the thread; the device is connected already (the mount checked the proxy first).
  void start();
  // Finishes the queued jobs and ends the thread.
  void stop();

  // Runs job on the worker's thread and returns its result: -EIO at once while the link is
  // down, unless wait_until_ms (steady clock) is set: then it waits for a reconnect until then.
  int run(Job job, int64_t wait_until_ms = 0);
  // Queues job without waiting; done (if set) gets its result on the worker's thread.
  void post(Job job, std::function<void(int)> done = nullptr);

  bool link_down() const;
  uint64_t epoch() const;
  // Runs on the worker's thread after every reconnect, before the next job; it may post().
  void set_reconnect_hook(std::function<void()> hook) { reconnect_hook_ = std::move(hook); }

  static int64_t now_ms();

 private:
  enum class LinkState { kUp, kIdle, kDown };
  struct Pending {
    Job job;
    std::function<void(int)> done;
    int* result = nullptr;
    bool* finished = nullptr;
  };
  void loop();
  int run_one(Pending& p, std::unique_lock<std::mutex>& lock);
  bool reconnect(std::unique_lock<std::mutex>& lock);

  Device& device_;
  ConnectSettings settings_;
  int64_t idle_ms_;
  MountLog& log_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;      // the worker: a job, a stop
  std::condition_variable finished_;  // the callers: a job done, the link back
  std::deque<Pending> queue_;
  LinkState state_ = LinkState::kUp;
  uint64_t epoch_ = 1;
  bool stopping_ = false;
  bool hook_due_ = false;
  int64_t last_job_ms_ = 0;
  int64_t backoff_ms_ = kBackoffFirstMs;
  std::function<void()> reconnect_hook_;
  std::thread thread_;
};

}  // namespace rq::mount
