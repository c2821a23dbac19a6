#include "mount/shutdown.h"

#include <cstring>

namespace rq::mount {

int send_all_dirty(MountContext& m, int64_t deadline_ms) {
  for (;;) {
    std::vector<FileRef> dirty;
    {
      std::lock_guard<std::mutex> lock(m.files.mutex());
      for (const FileRef& f : m.files.all_locked())
        if (f->dirty && !f->local_error && !f->kept_as_unsent) dirty.push_back(f);
    }
    if (dirty.empty()) return 0;
    if (steady_ms() >= deadline_ms) return static_cast<int>(dirty.size());
    int failures = 0;
    for (const FileRef& f : dirty) {
      int rc = send_if_dirty(m, f, deadline_ms);
      if (rc != 0) ++failures;
      if (steady_ms() >= deadline_ms) break;
    }
    // A refusal by the device will not change by trying again at once: stop there.
    if (failures && !m.worker->link_down()) {
      int left = 0;
      std::lock_guard<std::mutex> lock(m.files.mutex());
      for (const FileRef& f : m.files.all_locked()) left += f->dirty && !f->kept_as_unsent;
      return left;
    }
  }
}

int keep_all_unsent(MountContext& m) {
  int kept = 0;
  std::lock_guard<std::mutex> lock(m.files.mutex());
  for (const FileRef& f : m.files.all_locked()) {
    if (!f->dirty || f->kept_as_unsent || f->path.empty()) continue;
    std::string local = keep_unsent(m.cache, f->cache_path, f->path);
    if (local.empty()) {
      log_line(m.log, "not sent: %s (its cached copy could not be kept: %s)", f->path.c_str(),
               strerror(errno));
      continue;
    }
    f->kept_as_unsent = true;
    f->cache_path = local;
    log_line(m.log, "not sent: %s, kept as %s", f->path.c_str(), local.c_str());
    ++kept;
  }
  return kept;
}

}  // namespace rq::mount
