#include "mount/file_table.h"

#include "mount/attr_cache.h"

namespace rq::mount {

FileRef FileTable::find_locked(const std::string& path) const {
  auto it = by_path_.find(path);
  return it == by_path_.end() ? nullptr : it->second;
}

void FileTable::insert_locked(const FileRef& f) { by_path_[f->path] = f; }

void FileTable::detach_locked(const FileRef& f) {
  auto it = by_path_.find(f->path);
  if (it != by_path_.end() && it->second == f) by_path_.erase(it);
  f->path.clear();
}

std::vector<FileRef> FileTable::rename_locked(const std::string& from, const std::string& to) {
  std::vector<FileRef> replaced;
  for (auto it = by_path_.begin(); it != by_path_.end();) {
    if (it->first == to || is_below(it->first, to)) {
      it->second->path.clear();
      replaced.push_back(it->second);
      it = by_path_.erase(it);
    } else {
      ++it;
    }
  }
  std::vector<FileRef> moved;
  for (auto it = by_path_.begin(); it != by_path_.end();) {
    if (it->first == from || is_below(it->first, from)) {
      moved.push_back(it->second);
      it = by_path_.erase(it);
    } else {
      ++it;
    }
  }
  for (const FileRef& f : moved) {
    f->path = to + f->path.substr(from.size());
    by_path_[f->path] = f;
  }
  return replaced;
}

std::vector<FileRef> FileTable::all_locked() const {
  std::vector<FileRef> all;
  for (const auto& [path, f] : by_path_) all.push_back(f);
  return all;
}

int FileTable::wait_for_bytes(const FileRef& f, int64_t end) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] {
    return f->state != ContentState::kLoading || f->filled >= end || f->filled >= f->size;
  });
  return f->state == ContentState::kFailed ? f->load_error : 0;
}

int FileTable::wait_until_idle(const FileRef& f) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return f->state != ContentState::kLoading && !f->uploading; });
  return f->state == ContentState::kFailed ? f->load_error : 0;
}

void FileTable::note_size(const FileRef& f, int64_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  f->size = size;
  changed_.notify_all();
}

void FileTable::note_filled(const FileRef& f, int64_t filled) {
  std::lock_guard<std::mutex> lock(mutex_);
  f->filled = filled;
  changed_.notify_all();
}

void FileTable::note_loaded(const FileRef& f, int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  f->state = error ? ContentState::kFailed : ContentState::kReady;
  f->load_error = error;
  if (!error) f->filled = f->size;
  changed_.notify_all();
}

}  // namespace rq::mount
