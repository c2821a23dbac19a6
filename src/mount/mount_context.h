// Everything one mount owns, handed to every FUSE operation as libfuse's private data, and
// the steps the operations share: resolving a path through the caches or the device,
// filling a stat, opening a path's cached content, sending a dirty file.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "device/device.h"
#include "mount/attr_cache.h"
#include "mount/cache_dir.h"
#include "mount/file_table.h"
#include "mount/mount_log.h"
#include "mount/mount_options.h"
#include "mount/worker.h"

namespace rq::mount {

// What a FUSE file handle stands for: an open file, or an open directory (libfuse then
// passes no path to the operations that get the handle).
struct Handle {
  FileRef file;
  int flags = 0;
  std::string directory;  // set for an open directory
};

struct MountContext {
  explicit MountContext(const MountOptions& o)
      : options(o), attrs(static_cast<int64_t>(o.cache_timeout_s * 1000.0)) {}

  MountOptions options;
  MountLog log;
  CacheDir cache;
  AttrCache attrs;
  FileTable files;
  Device device;
  std::unique_ptr<Worker> worker;
  int64_t start_ns = 0;  // wall clock at mount: the time of files never written here

  std::mutex seen_mutex;
  std::set<std::string> listed_dirs;  // listed once in this mount (side names repaired)
  std::set<std::string> cut_logged;   // directories whose possibly cut listing was logged

  // Every open handle: the mount owns them, so that those the kernel never released (the
  // mount ended while a file was still open) go with it.
  std::mutex handles_mutex;
  std::map<const Handle*, std::unique_ptr<Handle>> handles;
};

int64_t steady_ms();
int64_t wall_ns();

// -EINVAL for a name the device cannot carry (bytes 0x01, 0x02) or one that looks like a side
// name of the safe replace; -ENAMETOOLONG when the path or its side names pass the device's
// path limit; else 0.
int check_new_name(const std::string& path);

// What the device (or a fresh cache entry) says about path; need_record asks for a file's
// size and permissions too. 0, or a negative errno (-ENOENT for a missing path).
int resolve(MountContext& m, const std::string& path, bool need_record, NodeInfo* info);

// A directory's listing, fresh from the cache or the device. 0 or a negative errno
// (-ENOTDIR for a file).
int list_directory(MountContext& m, const std::string& dir, Listing* out);

// Fills st for a path of the given kind: the mount's owner and umask, the record's
// permissions, the overrides set through the mount.
void fill_stat(MountContext& m, const std::string& path, const NodeInfo& info, struct stat* st);

// The entry for path with its content: shared with other openers, reused from the cache, or
// started empty (truncate) or downloading. Counts one opener. 0 or a negative errno.
int open_content(MountContext& m, const std::string& path, bool truncate, bool creating,
                 FileRef* out);
// Drops one opener; an unlinked entry's cache file goes with its last one.
void close_content(MountContext& m, const FileRef& f);

// Sends a dirty entry to the device (waiting for the link until wait_until_ms when set).
// 0 when sent or nothing to send; else the negative errno for close() or fsync().
int send_if_dirty(MountContext& m, const FileRef& f, int64_t wait_until_ms = 0);

// Sends every dirty entry that no one has open, in the background (after a reconnect).
void post_closed_dirty(MountContext& m);

// Forgets cached content no one has open and that is clean and older than the cache time-out
// (everything clean and closed when all is set).
void evict_cache(MountContext& m, bool all);

}  // namespace rq::mount
