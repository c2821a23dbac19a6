// A path's content in the cache: opening it (shared, reused, emptied or downloaded), closing
// it, sending it when dirty, and evicting what is no longer needed.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/status.h"
#include "mount/device_calls.h"
#include "mount/errno_map.h"
#include "mount/mount_context.h"

namespace rq::mount {

namespace {

int64_t timeout_ms(const MountContext& m) {
  return static_cast<int64_t>(m.options.cache_timeout_s * 1000.0);
}

void drop_cache_file(const FileRef& f) {
  if (f->fd >= 0) close(f->fd);
  f->fd = -1;
  if (!f->kept_as_unsent && !f->cache_path.empty()) unlink(f->cache_path.c_str());
}

FileRef new_entry(MountContext& m, const std::string& path, int* error) {
  auto f = std::make_shared<CachedFile>();
  f->path = path;
  f->fd = create_cache_file(m.cache, &f->cache_path);
  if (f->fd < 0) {
    *error = f->fd;
    return nullptr;
  }
  f->device_epoch = m.worker->epoch();
  f->fetched_at_ms = steady_ms();
  return f;
}

void start_download(MountContext& m, const FileRef& f, const std::string& path) {
  m.worker->post(
      [&m, f, path](LinkSession& s) {
        DownloadHooks hooks;
        hooks.on_size = [&m, f](int64_t size) { m.files.note_size(f, size); };
        hooks.on_filled = [&m, f](int64_t filled) { m.files.note_filled(f, filled); };
        int local_error = 0;
        int code = call_download(s, path, f->fd, hooks, &local_error);
        if (code != 0) return errno_for_status(code);
        if (local_error) {
          log_line(m.log, "caching %s failed: %s", path.c_str(), strerror(local_error));
          return -local_error;
        }
        return 0;
      },
      [&m, f](int result) {
        {
          std::lock_guard<std::mutex> lock(m.files.mutex());
          f->fetched_at_ms = steady_ms();
        }
        m.files.note_loaded(f, result);
      });
}

}  // namespace

int open_content(MountContext& m, const std::string& path, bool truncate, bool creating,
                 FileRef* out) {
  evict_cache(m, false);
  FileRef f;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    f = m.files.find_locked(path);
    if (f && !truncate && (f->open_count > 0 || f->dirty || f->uploading)) {
      ++f->open_count;
      *out = f;
      return 0;
    }
  }
  if (f && truncate) {
    int rc = m.files.wait_until_idle(f);
    std::lock_guard<std::mutex> lock(m.files.mutex());
    if (rc == 0 || f->state == ContentState::kFailed) {
      if (ftruncate(f->fd, 0) != 0) return -errno;
      f->state = ContentState::kReady;
      f->size = f->filled = 0;
      f->dirty = true;
      f->local_error = 0;
      ++f->write_serial;
      ++f->open_count;
      *out = f;
      return 0;
    }
  }

  NodeInfo info;
  if (!creating) {
    int rc = resolve(m, path, !truncate, &info);
    if (rc != 0) return rc;
    if (info.kind == NodeKind::kDirectory) return -EISDIR;
  }
  if (f) {
    // Closed, clean content: reused while fresh and of the device's size, else dropped.
    std::lock_guard<std::mutex> lock(m.files.mutex());
    bool fresh = steady_ms() - f->fetched_at_ms < timeout_ms(m);
    if (f->state == ContentState::kReady && fresh && info.size == f->size && !f->dirty) {
      ++f->open_count;
      *out = f;
      return 0;
    }
    if (f->open_count == 0 && !f->dirty && !f->uploading) {
      m.files.detach_locked(f);
      drop_cache_file(f);
    }
  }
  if (!truncate) {
    int rc = check_free_space(m.cache, info.size);
    if (rc != 0) {
      log_line(m.log, "no room in %s to cache %s (%lld bytes)", m.cache.files.c_str(), path.c_str(),
               static_cast<long long>(info.size));
      return rc;
    }
  }
  int error = 0;
  FileRef fresh_entry = new_entry(m, path, &error);
  if (!fresh_entry) return error;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    FileRef raced = m.files.find_locked(path);
    if (raced) {  // another open got there first: share it
      drop_cache_file(fresh_entry);
      ++raced->open_count;
      *out = raced;
      return 0;
    }
    f = fresh_entry;
    f->on_device = !creating && info.kind == NodeKind::kFile;
    f->device_size = info.size;
    f->open_count = 1;
    if (truncate) {
      f->dirty = true;
      ++f->write_serial;
    } else {
      f->state = ContentState::kLoading;
      f->size = info.size;
    }
    m.files.insert_locked(f);
  }
  if (!truncate) start_download(m, f, path);
  *out = f;
  return 0;
}

void close_content(MountContext& m, const FileRef& f) {
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    if (--f->open_count > 0) return;
    if (f->path.empty()) {
      if (f->state != ContentState::kLoading && !f->uploading) drop_cache_file(f);
    } else if (f->local_error) {
      // What a failed local write left is never sent: forget it.
      m.files.detach_locked(f);
      if (f->state != ContentState::kLoading && !f->uploading) drop_cache_file(f);
    }
  }
  evict_cache(m, false);
}

namespace {

struct UploadPlan {
  std::string path;
  int64_t size = 0;
  uint64_t serial = 0;
  bool on_device = false;
  int64_t device_size = 0;
  uint64_t device_epoch = 0;
};

// Takes the entry for an upload: 1 with the plan filled, 0 when there is nothing to send, or
// a negative errno.
int begin_upload(MountContext& m, const FileRef& f, bool wait, UploadPlan* plan) {
  std::unique_lock<std::mutex> lock(m.files.mutex());
  for (;;) {
    if (!f->dirty || f->path.empty() || f->kept_as_unsent) return 0;
    if (f->local_error) return f->local_error;
    if (f->state == ContentState::kFailed) return f->load_error;
    if (f->state != ContentState::kLoading && !f->uploading) break;
    if (!wait) return 0;
    lock.unlock();
    m.files.wait_until_idle(f);
    lock.lock();
  }
  if (f->size > INT32_MAX) return -EFBIG;
  f->uploading = true;
  f->tried_serial = f->write_serial;
  plan->path = f->path;
  plan->size = f->size;
  plan->serial = f->write_serial;
  plan->on_device = f->on_device;
  plan->device_size = f->device_size;
  plan->device_epoch = f->device_epoch;
  return 1;
}

constexpr int kBackgroundSendTries = 3;

// The conflict check after a reconnect: the device's file must still be the one the mount
// last saw (present or not, and of that size). The directory is listed first, which puts
// right what a cut replace left.
constexpr int kConflict = 1000;

int upload_job(MountContext& m, const FileRef& f, const UploadPlan& plan, LinkSession& s) {
  if (plan.device_epoch != m.worker->epoch()) {
    PathAnswer parent, now;
    int code = call_stat(s, parent_path(plan.path), &parent, m.log);
    if (code == kCodeLinkLost) return code;
    code = call_stat(s, plan.path, &now, m.log);
    if (code != 0 && code != kStatusMissing) return code;
    bool exists = code == 0 && now.kind == NodeKind::kFile;
    if (exists != plan.on_device || (exists && now.record.size != plan.device_size))
      return kConflict;
  }
  int local_error = 0;
  int code = call_upload(s, plan.path, f->fd, plan.size, m.options.direct_put, plan.on_device,
                         &local_error, m.log);
  if (local_error) {
    log_line(m.log, "reading the cached copy of %s failed: %s", plan.path.c_str(),
             strerror(local_error));
    return kCodeLinkLost;
  }
  return code;
}

int end_upload(MountContext& m, const FileRef& f, const UploadPlan& plan, int code) {
  int rc = 0;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    f->uploading = false;
    if (code == 0) {
      f->send_failures = 0;
      f->on_device = true;
      f->device_size = plan.size;
      f->device_epoch = m.worker->epoch();
      f->fetched_at_ms = steady_ms();
      if (f->write_serial == plan.serial) f->dirty = false;
    } else if (code != kConflict) {
      ++f->send_failures;
    }
    if (code == kConflict) {
      std::string kept = keep_unsent(m.cache, f->cache_path, plan.path);
      if (!kept.empty()) {
        f->kept_as_unsent = true;
        f->cache_path = kept;
      }
      f->dirty = false;
      log_line(m.log,
               "not sent: %s changed on the device since the mount last saw it; the local "
               "copy is kept as %s",
               plan.path.c_str(), kept.empty() ? "(could not be kept)" : kept.c_str());
      rc = -EIO;
    } else if (code != 0) {
      rc = errno_for_status(code);
    }
  }
  m.files.notify_all();
  if (code == 0) {
    m.attrs.note_created(plan.path, false, plan.size, steady_ms());
  } else if (code != kConflict) {
    log_line(m.log, "sending %s failed: %s", plan.path.c_str(),
             code == kCodeLinkLost ? "the link was lost" : status_text(code));
    m.attrs.drop(plan.path);
  }
  return rc;
}

}  // namespace

int send_if_dirty(MountContext& m, const FileRef& f, int64_t wait_until_ms) {
  UploadPlan plan;
  int rc = begin_upload(m, f, true, &plan);
  if (rc <= 0) return rc;
  int code = kCodeLinkLost;
  int run = m.worker->run(
      [&](LinkSession& s) {
        code = upload_job(m, f, plan, s);
        return 0;
      },
      wait_until_ms);
  if (run != 0) code = kCodeLinkLost;
  return end_upload(m, f, plan, code);
}

void post_closed_dirty(MountContext& m) {
  std::vector<FileRef> closed_dirty;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    for (const FileRef& f : m.files.all_locked())
      // One that failed again and again (it may be what cuts the link) waits for its next
      // flush or the end of the mount instead.
      if (f->dirty && f->open_count == 0 && f->send_failures < kBackgroundSendTries)
        closed_dirty.push_back(f);
  }
  for (const FileRef& f : closed_dirty) {
    auto plan = std::make_shared<UploadPlan>();
    if (begin_upload(m, f, false, plan.get()) <= 0) continue;
    auto code = std::make_shared<int>(kCodeLinkLost);
    m.worker->post(
        [&m, f, plan, code](LinkSession& s) {
          *code = upload_job(m, f, *plan, s);
          return 0;
        },
        [&m, f, plan, code](int run) {
          int rc = end_upload(m, f, *plan, run != 0 ? kCodeLinkLost : *code);
          if (rc == 0) log_line(m.log, "sent %s after the reconnect", plan->path.c_str());
        });
  }
}

void evict_cache(MountContext& m, bool all) {
  std::lock_guard<std::mutex> lock(m.files.mutex());
  int64_t now = steady_ms();
  for (const FileRef& f : m.files.all_locked()) {
    if (f->open_count > 0 || f->dirty || f->uploading || f->state == ContentState::kLoading)
      continue;
    if (!all && now - f->fetched_at_ms < timeout_ms(m) && f->state == ContentState::kReady)
      continue;
    m.files.detach_locked(f);
    drop_cache_file(f);
  }
}

}  // namespace rq::mount
