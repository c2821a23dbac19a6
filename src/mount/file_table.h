// The files whose content the mount holds on local disk: one entry per device path that is
// open, dirty or recently fetched, each with a cache file. A download fills the cache file
// from the front; a reader waits only until the bytes it asks for have arrived. Writes and
// truncation change the cache file only; the entry is dirty until an upload sends it.
//
// Entries are shared: every open of a path gets the same entry, and a handle keeps its entry
// alive after an unlink or a rename (the entry's path follows a rename and is cleared by an
// unlink, after which nothing of it is ever sent).
//
// One lock guards every entry's state; the cache files themselves are read and written
// outside it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rq::mount {

enum class ContentState : uint8_t {
  kLoading,  // a download is filling the cache file
  kReady,
  kFailed,  // the download failed: load_error says why
};

struct CachedFile {
  std::string path;        // the device path; empty once unlinked
  std::string cache_path;  // the cache file on local disk
  int fd = -1;

  ContentState state = ContentState::kReady;
  int load_error = 0;  // negative errno of a failed download
  int64_t size = 0;    // the content's size (announced by the device while loading)
  int64_t filled = 0;  // bytes downloaded so far

  bool dirty = false;           // changed locally since the device last got it
  int local_error = 0;          // a write to the cache file failed: never sent
  uint64_t write_serial = 0;    // counts local changes, to tell a change during an upload
  uint64_t tried_serial = 0;    // write_serial at the last upload tried
  bool uploading = false;       // writes and truncation wait while an upload reads
  bool on_device = false;       // the device has a file of this name (as last seen)
  int64_t device_size = 0;      // its size then
  uint64_t device_epoch = 0;    // the link generation in which it was last seen
  int64_t fetched_at_ms = 0;    // fetched or written (steady clock), for reuse
  int send_failures = 0;        // uploads failed since the last success or change
  bool kept_as_unsent = false;  // its cache file was moved aside for the user

  int open_count = 0;
};

using FileRef = std::shared_ptr<CachedFile>;

class FileTable {
 public:
  FileTable() = default;
  FileTable(const FileTable&) = delete;
  FileTable& operator=(const FileTable&) = delete;

  std::mutex& mutex() { return mutex_; }

  // The entry for path, if any (caller holds the lock).
  FileRef find_locked(const std::string& path) const;
  void insert_locked(const FileRef& f);
  // Takes the entry out of the table (unlink): its handles keep it; path is cleared.
  void detach_locked(const FileRef& f);
  // from (a file, or a directory and everything below it) is now called to; an entry
  // already at to is detached and returned, so the caller can drop it.
  std::vector<FileRef> rename_locked(const std::string& from, const std::string& to);
  std::vector<FileRef> all_locked() const;

  // Waits until the download has brought end bytes (or everything it will bring), or the
  // download has ended. Returns 0, or the download's error.
  int wait_for_bytes(const FileRef& f, int64_t end);
  // Waits until no download or upload is using the entry. Returns 0 or the download's error.
  int wait_until_idle(const FileRef& f);
  // Called by the download as the bytes arrive and when it ends (error 0 for success).
  void note_size(const FileRef& f, int64_t size);
  void note_filled(const FileRef& f, int64_t filled);
  void note_loaded(const FileRef& f, int error);
  // Wakes the waiters after an upload ended (the caller has set uploading = false).
  void notify_all() { changed_.notify_all(); }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, FileRef> by_path_;
};

}  // namespace rq::mount
