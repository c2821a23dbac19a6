#include "mount/worker.h"

#include <cerrno>
#include <chrono>

namespace rq::mount {

int64_t Worker::now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Worker::Worker(Device& device, const ConnectSettings& settings, int64_t idle_ms, MountLog& log)
    : device_(device), settings_(settings), idle_ms_(idle_ms), log_(log) {
  settings_.wait_s = 0;  // one try each time: the worker itself paces the retries
}

Worker::~Worker() { stop(); }

void Worker::start() {
  last_job_ms_ = now_ms();
  thread_ = std::thread([this] { loop(); });
}

void Worker::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool Worker::link_down() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ == LinkState::kDown;
}

uint64_t Worker::epoch() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return epoch_;
}

int Worker::run(Job job, int64_t wait_until_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait_until_ms > 0) {
    while (state_ == LinkState::kDown && !stopping_ && now_ms() < wait_until_ms)
      finished_.wait_for(lock, std::chrono::milliseconds(100));
  }
  if (state_ == LinkState::kDown || stopping_ || !thread_.joinable()) return -EIO;
  int result = -EIO;
  bool done = false;
  queue_.push_back(Pending{std::move(job), nullptr, &result, &done});
  wake_.notify_all();
  finished_.wait(lock, [&] { return done; });
  return result;
}

void Worker::post(Job job, std::function<void(int)> done) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(Pending{std::move(job), std::move(done), nullptr, nullptr});
  wake_.notify_all();
}

bool Worker::reconnect(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  ConnectFailure failure;
  int rc = connect_device(device_, settings_, &failure);
  lock.lock();
  if (rc != 0) {
    if (state_ != LinkState::kDown) log_line(log_, "link down: %s", failure.text.c_str());
    state_ = LinkState::kDown;
    return false;
  }
  if (state_ == LinkState::kDown) log_line(log_, "link up again");
  state_ = LinkState::kUp;
  ++epoch_;
  backoff_ms_ = kBackoffFirstMs;
  hook_due_ = true;
  finished_.notify_all();
  return true;
}

int Worker::run_one(Pending& p, std::unique_lock<std::mutex>& lock) {
  if (state_ == LinkState::kIdle && !reconnect(lock)) return -EIO;
  if (state_ == LinkState::kDown) return -EIO;
  lock.unlock();
  LinkSession session{device_};
  int result = p.job(session);
  if (session.lost) {
    link_close(device_.link);
    log_line(log_, "link lost; reconnecting in the background");
  }
  lock.lock();
  if (session.lost) {
    state_ = LinkState::kDown;
    backoff_ms_ = kBackoffFirstMs;
    if (result == 0) result = -EIO;
  }
  last_job_ms_ = now_ms();
  return result;
}

void Worker::loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (hook_due_ && reconnect_hook_) {
      hook_due_ = false;
      lock.unlock();
      reconnect_hook_();
      lock.lock();
      continue;
    }
    if (!queue_.empty()) {
      Pending p = std::move(queue_.front());
      queue_.pop_front();
      int result = run_one(p, lock);
      if (p.result) {
        *p.result = result;
        *p.finished = true;
        finished_.notify_all();
      } else if (p.done) {
        lock.unlock();
        p.done(result);
        lock.lock();
      }
      continue;
    }
    if (stopping_) break;
    if (state_ == LinkState::kDown) {
      if (!reconnect(lock)) {
        wake_.wait_for(lock, std::chrono::milliseconds(backoff_ms_));
        backoff_ms_ = std::min(backoff_ms_ * 2, kBackoffMaxMs);
      }
      continue;
    }
    if (state_ == LinkState::kUp && idle_ms_ > 0) {
      int64_t idle_at = last_job_ms_ + idle_ms_;
      if (now_ms() >= idle_at) {
        link_close(device_.link);
        state_ = LinkState::kIdle;
        log_line(log_, "idle: link closed until the next request");
        continue;
      }
      wake_.wait_for(lock, std::chrono::milliseconds(idle_at - now_ms()));
      continue;
    }
    wake_.wait(lock);
  }
  if (state_ == LinkState::kUp) link_close(device_.link);
}

}  // namespace rq::mount
