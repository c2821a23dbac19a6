// Paths through the caches and the device: resolve, list_directory, fill_stat, check_new_name.
#include <cerrno>
#include <chrono>
#include <cstring>

#include "device/safe_replace.h"
#include "link/protocol.h"
#include "link/status.h"
#include "mount/device_calls.h"
#include "mount/errno_map.h"
#include "mount/mount_context.h"

namespace rq::mount {

namespace {

// Side names are one dot and seven bytes longer than their target.
constexpr size_t kSideNameExtra = 8;

void note_listing(MountContext& m, const std::string& dir, const Listing& listing) {
  m.attrs.put_listing(dir, listing, steady_ms());
  std::lock_guard<std::mutex> lock(m.seen_mutex);
  m.listed_dirs.insert(dir);
  if (listing.maybe_cut && m.cut_logged.insert(dir).second)
    log_line(m.log,
             "the listing of %s filled its frame and may have been cut: %zu entries shown; "
             "names beyond them can still be opened by name",
             dir.c_str(), listing.entries.size());
}

void note_answer(MountContext& m, const std::string& path, const PathAnswer& a) {
  if (a.kind == NodeKind::kFile)
    m.attrs.put_file(path, a.record.size, record_permissions(a.record), steady_ms());
  else if (a.kind == NodeKind::kDirectory)
    note_listing(m, path, a.listing);
}

NodeInfo info_of(const PathAnswer& a) {
  NodeInfo info;
  info.kind = a.kind;
  if (a.kind == NodeKind::kFile) {
    info.has_record = true;
    info.size = a.record.size;
    info.permissions = record_permissions(a.record);
  }
  return info;
}

}  // namespace

int64_t steady_ms() { return Worker::now_ms(); }

int64_t wall_ns() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

int check_new_name(const std::string& path) {
  std::string name = leaf_name(path);
  for (char ch : path)
    if (ch == kEntryDirectory || ch == kEntryFile) return -EINVAL;
  ReplaceSide side;
  std::string target;
  if (parse_replace_side_name(name, &side, &target)) return -EINVAL;
  if (path.size() + kSideNameExtra > kMaxDevicePath) return -ENAMETOOLONG;
  return 0;
}

int resolve(MountContext& m, const std::string& path, bool need_record, NodeInfo* info) {
  if (path == "/") {
    info->kind = NodeKind::kDirectory;
    return 0;
  }
  // A name the device cannot carry cannot be there (creating one gives EINVAL).
  if (path.find_first_of("\x01\x02") != std::string::npos) return -ENOENT;
  if (m.attrs.lookup(path, steady_ms(), info) &&
      !(need_record && info->kind == NodeKind::kFile && !info->has_record))
    return info->kind == NodeKind::kMissing ? -ENOENT : 0;

  std::string parent = parent_path(path);
  bool parent_listed;
  {
    std::lock_guard<std::mutex> lock(m.seen_mutex);
    parent_listed = m.listed_dirs.count(parent) > 0;
  }
  PathAnswer answer, parent_answer;
  bool listed_parent = false;
  int code = 0;
  int rc = m.worker->run([&](LinkSession& s) {
    code = call_stat(s, path, &answer, m.log);
    // A name missing in a directory not yet listed may stand aside after a cut: list the
    // directory (which repairs it) and ask again.
    if (code == kStatusMissing && !parent_listed) {
      int parent_code = call_stat(s, parent, &parent_answer, m.log);
      if (parent_code == 0 && parent_answer.kind == NodeKind::kDirectory) {
        listed_parent = true;
        code = call_stat(s, path, &answer, m.log);
      }
    }
    return 0;
  });
  if (rc != 0) return rc;
  if (listed_parent) note_listing(m, parent, parent_answer.listing);
  if (code == kStatusMissing) {
    m.attrs.put_missing(path, steady_ms());
    return -ENOENT;
  }
  if (code != 0) return errno_for_status(code);
  note_answer(m, path, answer);
  *info = info_of(answer);
  return 0;
}

int list_directory(MountContext& m, const std::string& dir, Listing* out) {
  if (m.attrs.listing(dir, steady_ms(), out)) return 0;
  PathAnswer answer;
  int code = 0;
  int rc = m.worker->run([&](LinkSession& s) {
    code = call_stat(s, dir, &answer, m.log);
    return 0;
  });
  if (rc != 0) return rc;
  if (code == kStatusMissing) m.attrs.put_missing(dir, steady_ms());
  if (code != 0) return errno_for_status(code);
  note_answer(m, dir, answer);
  if (answer.kind != NodeKind::kDirectory) return -ENOTDIR;
  *out = answer.listing;
  return 0;
}

void fill_stat(MountContext& m, const std::string& path, const NodeInfo& info, struct stat* st) {
  std::memset(st, 0, sizeof *st);
  Overrides o = path.empty() ? Overrides{} : m.attrs.overrides(path);
  const mode_t umask = m.options.umask;
  if (info.kind == NodeKind::kDirectory) {
    st->st_mode = S_IFDIR | (o.mode ? *o.mode : (0777 & ~umask));
    st->st_nlink = 2;
  } else {
    // A file whose record is not read yet (a new one) gets what most devices give.
    mode_t permissions = info.has_record ? info.permissions : 0666;
    st->st_mode = S_IFREG | (o.mode ? *o.mode : (permissions & ~umask));
    st->st_nlink = 1;
    st->st_size = info.size;
    st->st_blocks = (info.size + 511) / 512;
  }
  st->st_blksize = 65536;
  st->st_uid = o.uid ? *o.uid : m.options.uid;
  st->st_gid = o.gid ? *o.gid : m.options.gid;
  int64_t mtime = o.mtime_ns ? *o.mtime_ns : m.start_ns;
  int64_t atime = o.atime_ns ? *o.atime_ns : mtime;
  st->st_mtim.tv_sec = mtime / 1000000000;
  st->st_mtim.tv_nsec = mtime % 1000000000;
  st->st_atim.tv_sec = atime / 1000000000;
  st->st_atim.tv_nsec = atime % 1000000000;
  st->st_ctim = st->st_mtim;
}

}  // namespace rq::mount
