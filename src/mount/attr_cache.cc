#include "mount/attr_cache.h"

#include <algorithm>

namespace rq::mount {

std::string parent_path(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string leaf_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string child_path(const std::string& dir, const std::string& name) {
  return dir == "/" ? "/" + name : dir + "/" + name;
}

bool is_below(const std::string& path, const std::string& dir) {
  if (dir == "/") return path.size() > 1 && path[0] == '/';
  return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 &&
         path[dir.size()] == '/';
}

bool AttrCache::lookup(const std::string& path, int64_t now, NodeInfo* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto e = entries_.find(path);
  if (e != entries_.end()) {
    int64_t timeout = e->second.info.kind == NodeKind::kMissing ? kMissingTimeoutMs : timeout_ms_;
    if (fresh(e->second.at, now, timeout)) {
      *out = e->second.info;
      return true;
    }
  }
  if (path == "/") return false;
  auto l = listings_.find(parent_path(path));
  if (l == listings_.end() || !fresh(l->second.at, now, timeout_ms_)) return false;
  std::string name = leaf_name(path);
  for (const DirEntry& entry : l->second.listing.entries) {
    if (entry.name != name) continue;
    *out = NodeInfo{};
    out->kind = entry.directory ? NodeKind::kDirectory : NodeKind::kFile;
    return true;
  }
  if (l->second.listing.maybe_cut) return false;  // beyond the cut: ask by name
  *out = NodeInfo{};
  return true;
}

void AttrCache::put_file(const std::string& path, int64_t size, uint32_t permissions, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& e = entries_[path];
  e.info = NodeInfo{NodeKind::kFile, true, size, permissions};
  e.at = now;
}

void AttrCache::put_directory(const std::string& path, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& e = entries_[path];
  e.info = NodeInfo{NodeKind::kDirectory, false, 0, 0};
  e.at = now;
}

void AttrCache::put_missing(const std::string& path, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& e = entries_[path];
  e.info = NodeInfo{};
  e.at = now;
}

void AttrCache::put_listing(const std::string& dir, const Listing& listing, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  listings_[dir] = CachedListing{listing, now};
  Entry& e = entries_[dir];
  e.info = NodeInfo{NodeKind::kDirectory, false, 0, 0};
  e.at = now;
}

bool AttrCache::listing(const std::string& dir, int64_t now, Listing* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto l = listings_.find(dir);
  if (l == listings_.end() || !fresh(l->second.at, now, timeout_ms_)) return false;
  *out = l->second.listing;
  return true;
}

void AttrCache::listing_add(const std::string& path, bool directory) {
  auto l = listings_.find(parent_path(path));
  if (l == listings_.end()) return;
  auto& entries = l->second.listing.entries;
  std::string name = leaf_name(path);
  for (DirEntry& e : entries) {
    if (e.name == name) {
      e.directory = directory;
      return;
    }
  }
  entries.push_back(DirEntry{name, directory});
}

void AttrCache::listing_remove(const std::string& path) {
  auto l = listings_.find(parent_path(path));
  if (l == listings_.end()) return;
  auto& entries = l->second.listing.entries;
  std::string name = leaf_name(path);
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](const DirEntry& e) { return e.name == name; }),
                entries.end());
}

void AttrCache::drop_below(const std::string& path) {
  for (auto* m : {&entries_}) {
    for (auto it = m->begin(); it != m->end();)
      it = it->first == path || is_below(it->first, path) ? m->erase(it) : std::next(it);
  }
  for (auto it = listings_.begin(); it != listings_.end();)
    it = it->first == path || is_below(it->first, path) ? listings_.erase(it) : std::next(it);
}

void AttrCache::note_created(const std::string& path, bool directory, int64_t size, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& e = entries_[path];
  if (directory) {
    e.info = NodeInfo{NodeKind::kDirectory, false, 0, 0};
  } else {
    // Permissions the device gives a new file are not known until its record is read.
    bool had_record = e.info.kind == NodeKind::kFile && e.info.has_record;
    uint32_t permissions = had_record ? e.info.permissions : 0;
    e.info = NodeInfo{NodeKind::kFile, had_record, size, permissions};
  }
  e.at = now;
  listing_add(path, directory);
}

void AttrCache::note_removed(const std::string& path, int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  drop_below(path);
  entries_[path] = Entry{NodeInfo{}, now};
  listing_remove(path);
  for (auto it = overrides_.begin(); it != overrides_.end();)
    it = it->first == path || is_below(it->first, path) ? overrides_.erase(it) : std::next(it);
}

void AttrCache::note_renamed(const std::string& from, const std::string& to, bool directory,
                             int64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry moved;
  auto e = entries_.find(from);
  if (e != entries_.end()) moved = e->second;
  drop_below(from);
  drop_below(to);
  listing_remove(from);
  listing_add(to, directory);
  entries_[from] = Entry{NodeInfo{}, now};
  if (moved.info.kind != NodeKind::kMissing) {
    moved.at = now;
    entries_[to] = moved;
  }
  std::map<std::string, Overrides> kept;
  for (auto it = overrides_.begin(); it != overrides_.end();) {
    if (it->first == to || is_below(it->first, to)) {
      it = overrides_.erase(it);
    } else if (it->first == from || is_below(it->first, from)) {
      kept[to + it->first.substr(from.size())] = it->second;
      it = overrides_.erase(it);
    } else {
      ++it;
    }
  }
  overrides_.insert(kept.begin(), kept.end());
}

void AttrCache::drop(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  drop_below(path);
  listings_.erase(parent_path(path));
}

void AttrCache::drop_all() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  listings_.clear();
}

Overrides AttrCache::overrides(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = overrides_.find(path);
  return it == overrides_.end() ? Overrides{} : it->second;
}

void AttrCache::update_overrides(const std::string& path, const Overrides& changes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Overrides& o = overrides_[path];
  if (changes.mode) o.mode = changes.mode;
  if (changes.uid) o.uid = changes.uid;
  if (changes.gid) o.gid = changes.gid;
  if (changes.atime_ns) o.atime_ns = changes.atime_ns;
  if (changes.mtime_ns) o.mtime_ns = changes.mtime_ns;
}

void AttrCache::drop_overrides(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  overrides_.erase(path);
}

}  // namespace rq::mount
