// The FUSE operations (libfuse's high-level API, paths as the device sees them) on the tree:
// attributes, listings, mkdir, unlink, rmdir, rename, the attributes kept in memory, and the
// operations the device cannot do; file_ops.cc has those on open files. Each one answers
// from the caches when they can and otherwise through the worker; errors come from
// errno_map.h, refined here with what the mount knows.
#include "mount/fuse_ops.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "link/protocol.h"
#include "link/status.h"
#include "mount/checked_change.h"
#include "mount/device_calls.h"
#include "mount/errno_map.h"
#include "mount/fuse_ops_shared.h"

namespace rq::mount {

namespace {

// For the lost-answer check: whether path is now of the given kind (kMissing: gone).
int is_there(MountContext& m, LinkSession& s, const std::string& path, NodeKind kind,
             bool* happened) {
  PathAnswer a;
  int code = call_stat(s, path, &a, m.log);
  if (code != 0 && code != kStatusMissing) return code;
  *happened = (code == kStatusMissing ? NodeKind::kMissing : a.kind) == kind;
  return 0;
}

int op_getattr(const char* path, struct stat* st, fuse_file_info* fi) {
  MountContext& m = ctx();
  if (fi && !handle_of(fi)->file) {
    NodeInfo info;
    info.kind = NodeKind::kDirectory;
    fill_stat(m, handle_of(fi)->directory, info, st);
    return 0;
  }
  if (fi) {
    FileRef f = handle_of(fi)->file;
    fill_stat(m, path_of(m, f), info_of_entry(m, f), st);
    return 0;
  }
  if (FileRef f = local_entry(m, path)) {
    fill_stat(m, path, info_of_entry(m, f), st);
    return 0;
  }
  NodeInfo info;
  int rc = resolve(m, path, true, &info);
  if (rc != 0) return rc;
  fill_stat(m, path, info, st);
  return 0;
}

int op_opendir(const char* path, fuse_file_info* fi) {
  MountContext& m = ctx();
  NodeInfo info;
  int rc = resolve(m, path, false, &info);
  if (rc != 0) return rc;
  if (info.kind != NodeKind::kDirectory) return -ENOTDIR;
  Handle h;
  h.directory = path;
  fi->fh = keep_handle(m, std::move(h));
  return 0;
}

int op_releasedir(const char*, fuse_file_info* fi) {
  drop_handle(ctx(), fi);
  return 0;
}

int op_readdir(const char*, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info* fi,
               fuse_readdir_flags) {
  MountContext& m = ctx();
  const std::string& path = handle_of(fi)->directory;
  Listing listing;
  int rc = list_directory(m, path, &listing);
  if (rc != 0) return rc;
  fill(buf, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buf, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  std::set<std::string> names;
  for (const DirEntry& e : listing.entries) {
    struct stat st = {};
    st.st_mode = e.directory ? S_IFDIR : S_IFREG;
    names.insert(e.name);
    fill(buf, e.name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0));
  }
  // Files made here that the device does not have yet.
  std::lock_guard<std::mutex> lock(m.files.mutex());
  for (const FileRef& f : m.files.all_locked()) {
    if (f->on_device || parent_path(f->path) != path || f->path == "/") continue;
    std::string name = leaf_name(f->path);
    if (!names.insert(name).second) continue;
    struct stat st = {};
    st.st_mode = S_IFREG;
    fill(buf, name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0));
  }
  return 0;
}

int op_mkdir(const char* path, mode_t mode) {
  MountContext& m = ctx();
  int rc = check_new_name(path);
  if (rc != 0) return rc;
  ChangeResult r = run_change(
      *m.worker, [&](LinkSession& s) { return call_path(s, kCmdMkdir, path); },
      [&](LinkSession& s, bool* happened) {
        return is_there(m, s, path, NodeKind::kDirectory, happened);
      },
      m.log, path);
  int code = r.code;
  if (r.run != 0) {
    m.attrs.drop(path);
    return r.run;
  }
  if (code != 0) {
    m.attrs.drop(path);
    return errno_for_status(code);
  }
  m.attrs.note_created(path, true, 0, steady_ms());
  if ((mode & 07777) != (0777 & ~m.options.umask)) {
    Overrides o;
    o.mode = mode & 07777;
    m.attrs.update_overrides(path, o);
  }
  return 0;
}

int op_unlink(const char* path) {
  MountContext& m = ctx();
  NodeInfo info;
  int rc = resolve(m, path, false, &info);
  FileRef f;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    f = m.files.find_locked(path);
  }
  bool local_only = f && !f->on_device && (f->open_count > 0 || f->dirty);
  if (!local_only) {
    if (rc != 0) return rc;
    if (info.kind == NodeKind::kDirectory) return -EISDIR;
    ChangeResult r = run_change(
        *m.worker, [&](LinkSession& s) { return call_path(s, kCmdRm, path); },
        [&](LinkSession& s, bool* happened) {
          return is_there(m, s, path, NodeKind::kMissing, happened);
        },
        m.log, path);
    rc = r.run ? r.run : errno_for_status(r.code);
    if (rc != 0) {
      m.attrs.drop(path);
      return rc;
    }
  }
  if (f) {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    m.files.detach_locked(f);
    f->dirty = false;  // whoever has it open keeps reading it; nothing of it is sent
    if (f->open_count == 0 && f->state != ContentState::kLoading && !f->uploading) {
      if (f->fd >= 0) close(f->fd);
      f->fd = -1;
      unlink(f->cache_path.c_str());
    }
  }
  m.attrs.note_removed(path, steady_ms());
  return 0;
}

// True when the directory has entries (the device's or files made here not yet sent).
int has_entries(MountContext& m, const std::string& dir, bool* any) {
  Listing listing;
  int rc = list_directory(m, dir, &listing);
  if (rc != 0) return rc;
  *any = !listing.entries.empty();
  std::lock_guard<std::mutex> lock(m.files.mutex());
  for (const FileRef& f : m.files.all_locked())
    if (is_below(f->path, dir)) *any = true;
  return 0;
}

int op_rmdir(const char* path) {
  MountContext& m = ctx();
  NodeInfo info;
  int rc = resolve(m, path, false, &info);
  if (rc != 0) return rc;
  if (info.kind != NodeKind::kDirectory) return -ENOTDIR;
  if (std::string(path) == "/") return -EBUSY;
  bool any = false;
  if ((rc = has_entries(m, path, &any)) != 0) return rc;
  if (any) return -ENOTEMPTY;
  ChangeResult r = run_change(
      *m.worker, [&](LinkSession& s) { return call_path(s, kCmdRm, path); },
      [&](LinkSession& s, bool* happened) {
        return is_there(m, s, path, NodeKind::kMissing, happened);
      },
      m.log, path);
  int code = r.code;
  if (r.run != 0) return m.attrs.drop(path), r.run;
  if (code != 0) {
    m.attrs.drop(path);
    // The device refuses a directory that has entries; ours may have been out of date.
    if (code != kStatusMissing && has_entries(m, path, &any) == 0 && any) return -ENOTEMPTY;
    return errno_for_status(code);
  }
  m.attrs.note_removed(path, steady_ms());
  return 0;
}

int op_rename(const char* from, const char* to, unsigned int flags) {
  MountContext& m = ctx();
  if (flags & RENAME_EXCHANGE) return -EINVAL;
  if (flags & ~static_cast<unsigned>(RENAME_NOREPLACE)) return -EINVAL;
  int rc = check_new_name(to);
  if (rc != 0) return rc;
  NodeInfo src, dst;
  // A file made here and not sent yet is renamed here only: the device has nothing of it.
  FileRef local = local_entry(m, from);
  bool local_only = local && !local->on_device;
  if (local_only) {
    src.kind = NodeKind::kFile;
  } else if ((rc = resolve(m, from, false, &src)) != 0) {
    return rc;
  }
  rc = resolve(m, to, false, &dst);
  if (rc != 0 && rc != -ENOENT) return rc;
  FileRef local_to = local_entry(m, to);
  bool to_exists = rc == 0 || (local_to && !local_to->on_device);
  if (to_exists) {
    if (flags & RENAME_NOREPLACE) return -EEXIST;
    if (src.kind == NodeKind::kDirectory && dst.kind == NodeKind::kFile) return -ENOTDIR;
    if (src.kind == NodeKind::kFile && dst.kind == NodeKind::kDirectory) return -EISDIR;
    if (dst.kind == NodeKind::kDirectory) {
      bool any = false;
      if ((rc = has_entries(m, to, &any)) != 0) return rc;
      if (any) return -ENOTEMPTY;
    }
  }
  if (src.kind == NodeKind::kDirectory && is_below(to, from)) return -EINVAL;
  bool to_on_device = rc == 0;
  if (!local_only) {
    ChangeResult r = run_change(
        *m.worker,
        [&](LinkSession& s) {
          return call_move(s, from, to, !(flags & RENAME_NOREPLACE), to_on_device, m.log);
        },
        [&](LinkSession& s, bool* happened) {
          // Listing the target's directory first puts back what a cut replace left aside.
          PathAnswer parent;
          int code = call_stat(s, parent_path(to), &parent, m.log);
          if (code != 0) return code;
          bool gone = false, there = false;
          if ((code = is_there(m, s, from, NodeKind::kMissing, &gone)) != 0) return code;
          if ((code = is_there(m, s, to, src.kind, &there)) != 0) return code;
          *happened = gone && there;
          return 0;
        },
        m.log, from);
    rc = r.run ? r.run : errno_for_status(r.code);
    if (rc != 0) {
      m.attrs.drop(from);
      m.attrs.drop(to);
      return rc;
    }
  }
  std::vector<FileRef> replaced;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    replaced = m.files.rename_locked(from, to);
    // A file made here and never sent now replaces what the device has under the new name.
    if (local_only && local) local->on_device = false;
    for (const FileRef& f : replaced) {
      f->dirty = false;
      if (f->open_count == 0 && f->state != ContentState::kLoading && !f->uploading) {
        if (f->fd >= 0) close(f->fd);
        f->fd = -1;
        unlink(f->cache_path.c_str());
      }
    }
  }
  m.attrs.note_renamed(from, to, src.kind == NodeKind::kDirectory, steady_ms());
  return 0;
}

// An attribute the device cannot keep: held for the mount's life, or refused.
int set_override(const char* path, const Overrides& o, fuse_file_info* fi) {
  MountContext& m = ctx();
  if (m.options.strict_attrs) return -EPERM;
  std::string p = !fi                   ? path
                  : handle_of(fi)->file ? path_of(m, handle_of(fi)->file)
                                        : handle_of(fi)->directory;
  if (p.empty()) return 0;  // unlinked and still open: nothing to keep it for
  if (!local_entry(m, p)) {
    NodeInfo info;
    int rc = resolve(m, p, false, &info);
    if (rc != 0) return rc;
  }
  m.attrs.update_overrides(p, o);
  return 0;
}

int op_chmod(const char* path, mode_t mode, fuse_file_info* fi) {
  Overrides o;
  o.mode = mode & 07777;
  return set_override(path, o, fi);
}

int op_chown(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
  Overrides o;
  if (uid != static_cast<uid_t>(-1)) o.uid = uid;
  if (gid != static_cast<gid_t>(-1)) o.gid = gid;
  return set_override(path, o, fi);
}

int op_utimens(const char* path, const struct timespec tv[2], fuse_file_info* fi) {
  Overrides o;
  int64_t now = wall_ns();
  auto value = [&](const timespec& t) -> std::optional<int64_t> {
    if (t.tv_nsec == UTIME_OMIT) return std::nullopt;
    if (t.tv_nsec == UTIME_NOW) return now;
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  o.atime_ns = tv ? value(tv[0]) : now;
  o.mtime_ns = tv ? value(tv[1]) : now;
  return set_override(path, o, fi);
}

int op_statfs(const char*, struct statvfs* st) {
  // The device reports no figures: large ones, so that no copy refuses to start.
  std::memset(st, 0, sizeof *st);
  st->f_bsize = 4096;
  st->f_frsize = 4096;
  st->f_blocks = 1ull << 28;  // 1 TiB
  st->f_bfree = st->f_bavail = 1ull << 27;
  st->f_files = 1ull << 24;
  st->f_ffree = st->f_favail = 1ull << 23;
  st->f_namemax = kMaxDevicePath;
  return 0;
}

int op_access(const char* path, int) {
  MountContext& m = ctx();
  if (local_entry(m, path)) return 0;
  NodeInfo info;
  return resolve(m, path, false, &info);
}

int op_no_links(const char*, const char*) { return -EPERM; }
int op_mknod(const char*, mode_t, dev_t) { return -EPERM; }
int op_setxattr(const char*, const char*, const char*, size_t, int) { return -ENOTSUP; }
int op_fallocate(const char*, int, off_t, off_t, fuse_file_info*) { return -EOPNOTSUPP; }

void* op_init(fuse_conn_info* conn, fuse_config* cfg) {
  // Writes of up to 1 MiB per request (the kernel's largest): a copy in costs a quarter of
  // the requests of the 128 KiB default.
  conn->max_write = 1 << 20;
  conn->max_readahead = 1 << 20;
  // Replies to reads spliced from the cache file where the kernel can.
  if (conn->capable & FUSE_CAP_SPLICE_WRITE) conn->want |= FUSE_CAP_SPLICE_WRITE;
  cfg->entry_timeout = 1;
  cfg->attr_timeout = 1;
  cfg->negative_timeout = 0;  // the mount remembers missing names itself, and drops them
  cfg->hard_remove = 1;       // no hidden rename of an open file ever reaches the device
  cfg->nullpath_ok = 1;
  cfg->use_ino = 0;
  cfg->kernel_cache = 0;
  cfg->auto_cache = 0;
  return fuse_get_context()->private_data;
}

}  // namespace

fuse_operations mount_operations() {
  fuse_operations ops = {};
  ops.getattr = op_getattr;
  ops.opendir = op_opendir;
  ops.readdir = op_readdir;
  ops.releasedir = op_releasedir;
  ops.mkdir = op_mkdir;
  ops.unlink = op_unlink;
  ops.rmdir = op_rmdir;
  ops.rename = op_rename;
  ops.chmod = op_chmod;
  ops.chown = op_chown;
  ops.utimens = op_utimens;
  ops.statfs = op_statfs;
  ops.access = op_access;
  ops.link = op_no_links;
  ops.symlink = op_no_links;
  ops.mknod = op_mknod;
  ops.setxattr = op_setxattr;
  ops.fallocate = op_fallocate;
  ops.init = op_init;
  add_file_operations(ops);
  return ops;
}

}  // namespace rq::mount
