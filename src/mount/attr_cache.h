// What the mount knows about the device's tree without asking it: each path's kind and, for
// a file, its size and permission bits from its record; each directory's entries from its
// listing; names found missing. Entries are fresh for the cache time-out (missing names for
// kMissingTimeoutMs); the mount's own operations update or drop what they touch, and SIGHUP
// or a reconnect drops everything.
//
// Besides, the attributes the device cannot keep (a mode, an owner, times set through the
// mount) are held here for the mount's life, keyed by path and moved with renames.
//
// Thread-safe: every call takes the cache's lock. Times are milliseconds of a steady clock,
// passed in so that tests can step them.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace rq::mount {

constexpr int64_t kMissingTimeoutMs = 1000;

enum class NodeKind : uint8_t { kMissing, kFile, kDirectory };

struct NodeInfo {
  NodeKind kind = NodeKind::kMissing;
  bool has_record = false;  // a file's size and permissions are known
  int64_t size = 0;
  uint32_t permissions = 0;  // from the record: rwx of owner, group, others
};

struct DirEntry {
  std::string name;
  bool directory = false;
};

struct Listing {
  std::vector<DirEntry> entries;  // side names of the safe replace left out
  bool maybe_cut = false;         // the reply filled its frame: names may be missing
};

// Attributes set through the mount; unset ones come from the device or the mount's defaults.
struct Overrides {
  std::optional<uint32_t> mode;  // permission bits
  std::optional<uid_t> uid;
  std::optional<gid_t> gid;
  std::optional<int64_t> atime_ns;  // since the epoch
  std::optional<int64_t> mtime_ns;
};

class AttrCache {
 public:
  explicit AttrCache(int64_t timeout_ms) : timeout_ms_(timeout_ms) {}

  // A fresh answer for path, if there is one: its own entry, or what its parent's fresh
  // listing says (a directory, or missing when the listing is complete). A file known only
  // from a listing comes back without its record.
  bool lookup(const std::string& path, int64_t now, NodeInfo* out) const;

  void put_file(const std::string& path, int64_t size, uint32_t permissions, int64_t now);
  void put_directory(const std::string& path, int64_t now);
  void put_missing(const std::string& path, int64_t now);
  void put_listing(const std::string& dir, const Listing& listing, int64_t now);
  // The directory's fresh listing, if there is one.
  bool listing(const std::string& dir, int64_t now, Listing* out) const;

  // The mount made path (a file of size, or a directory) or removed it: its entry and its
  // parent's listing follow.
  void note_created(const std::string& path, bool directory, int64_t size, int64_t now);
  void note_removed(const std::string& path, int64_t now);
  // from was renamed to to: everything below both is dropped, the listings follow, and the
  // overrides move along.
  void note_renamed(const std::string& from, const std::string& to, bool directory, int64_t now);

  // Forgets path (and below it), keeping the overrides.
  void drop(const std::string& path);
  // Forgets everything but the overrides (SIGHUP, a reconnect).
  void drop_all();

  Overrides overrides(const std::string& path) const;
  void update_overrides(const std::string& path, const Overrides& changes);
  void drop_overrides(const std::string& path);

 private:
  struct Entry {
    NodeInfo info;
    int64_t at = 0;
  };
  struct CachedListing {
    Listing listing;
    int64_t at = 0;
  };
  bool fresh(int64_t at, int64_t now, int64_t timeout) const { return now - at < timeout; }
  void drop_below(const std::string& path);  // path itself and everything under it
  void listing_add(const std::string& path, bool directory);
  void listing_remove(const std::string& path);

  int64_t timeout_ms_;
  mutable std::mutex mutex_;
  std::map<std::string, Entry> entries_;
  std::map<std::string, CachedListing> listings_;
  std::map<std::string, Overrides> overrides_;
};

// "/a/b" -> "/a", "/a" -> "/", "/" -> "/".
std::string parent_path(const std::string& path);
// "/a/b" -> "b".
std::string leaf_name(const std::string& path);
// "/" + name or dir + "/" + name.
std::string child_path(const std::string& dir, const std::string& name);
// True when path is below (not equal to) dir.
bool is_below(const std::string& path, const std::string& dir);

}  // namespace rq::mount
