// The FUSE operations on open files: open and create (through the cache), read as the
// download fills the cache, write and truncate the cached copy, and send it on flush, fsync
// and release.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "mount/fuse_ops_shared.h"

namespace rq::mount {

namespace {

int open_handle(const char* path, fuse_file_info* fi, bool creating) {
  MountContext& m = ctx();
  bool truncate = creating || (fi->flags & O_TRUNC);
  if (creating) {
    int rc = check_new_name(path);
    if (rc != 0) return rc;
  }
  FileRef f;
  int rc = open_content(m, path, truncate, creating, &f);
  if (rc != 0) return rc;
  if (truncate) touch(m, path);
  fi->fh = keep_handle(m, Handle{f, fi->flags, {}});
  return 0;
}

int op_open(const char* path, fuse_file_info* fi) { return open_handle(path, fi, false); }

int op_create(const char* path, mode_t mode, fuse_file_info* fi) {
  int rc = open_handle(path, fi, true);
  if (rc == 0 && (mode & 07777) != (0666 & ~ctx().options.umask)) {
    Overrides o;
    o.mode = mode & 07777;
    ctx().attrs.update_overrides(path, o);
  }
  return rc;
}

// Reads hand libfuse the cache file's descriptor and range: it splices them into the reply
// where the kernel allows, else reads them itself.
int op_read_buf(const char*, fuse_bufvec** out, size_t size, off_t offset, fuse_file_info* fi) {
  MountContext& m = ctx();
  FileRef f = handle_of(fi)->file;
  int rc = m.files.wait_for_bytes(f, offset + static_cast<int64_t>(size));
  if (rc != 0) return rc;
  int64_t end;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    end = f->state == ContentState::kLoading ? f->filled : f->size;
  }
  size_t n = offset >= end ? 0 : static_cast<size_t>(std::min<int64_t>(size, end - offset));
  auto* bufs = static_cast<fuse_bufvec*>(malloc(sizeof(fuse_bufvec)));
  if (!bufs) return -ENOMEM;
  *bufs = FUSE_BUFVEC_INIT(n);
  bufs->buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
  bufs->buf[0].fd = f->fd;
  bufs->buf[0].pos = offset;
  *out = bufs;
  return 0;
}

// Writes into the cached copy: buf holds the bytes in memory, or (spliced from the kernel)
// in a pipe, and fuse_buf_copy moves them into the cache file either way.
int op_write_buf(const char*, fuse_bufvec* buf, off_t offset, fuse_file_info* fi) {
  MountContext& m = ctx();
  Handle* h = handle_of(fi);
  FileRef f = h->file;
  int rc = m.files.wait_until_idle(f);
  if (rc != 0) return rc;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    if (h->flags & O_APPEND) offset = f->size;
    path = f->path;
  }
  size_t size = fuse_buf_size(buf);
  if (offset + static_cast<int64_t>(size) > INT32_MAX) return -EFBIG;
  fuse_bufvec into = FUSE_BUFVEC_INIT(size);
  into.buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
  into.buf[0].fd = f->fd;
  into.buf[0].pos = offset;
  ssize_t n = fuse_buf_copy(&into, buf, static_cast<fuse_buf_copy_flags>(0));
  std::lock_guard<std::mutex> lock(m.files.mutex());
  if (n < 0) {
    f->local_error = static_cast<int>(n);
    log_line(m.log, "writing the cached copy of %s failed: %s; it will not be sent", path.c_str(),
             strerror(static_cast<int>(-n)));
    return f->local_error;
  }
  f->size = std::max<int64_t>(f->size, offset + n);
  f->dirty = true;
  ++f->write_serial;
  f->send_failures = 0;
  f->fetched_at_ms = steady_ms();
  touch(m, path);
  return static_cast<int>(n);
}

int op_flush(const char*, fuse_file_info* fi) { return send_if_dirty(ctx(), handle_of(fi)->file); }

int op_fsync(const char*, int, fuse_file_info* fi) {
  return send_if_dirty(ctx(), handle_of(fi)->file);
}

int op_release(const char*, fuse_file_info* fi) {
  MountContext& m = ctx();
  Handle* h = handle_of(fi);
  // What a shared mapping wrote after the last flush arrives before the release; what the
  // last flush already tried and failed to send waits for the next one.
  bool changed_since_flush;
  {
    std::lock_guard<std::mutex> lock(m.files.mutex());
    changed_since_flush = h->file->write_serial != h->file->tried_serial;
  }
  int rc = changed_since_flush ? send_if_dirty(m, h->file) : 0;
  if (rc != 0) {
    std::string path = path_of(m, h->file);
    log_line(m.log, "%s: sending at release failed (%s); it stays for the next flush", path.c_str(),
             strerror(-rc));
  }
  close_content(m, h->file);
  drop_handle(m, fi);
  return 0;
}

int truncate_entry(MountContext& m, const FileRef& f, off_t size) {
  int rc = m.files.wait_until_idle(f);
  if (rc != 0) return rc;
  std::lock_guard<std::mutex> lock(m.files.mutex());
  if (ftruncate(f->fd, size) != 0) {
    f->local_error = -errno;
    return f->local_error;
  }
  f->size = size;
  f->dirty = true;
  ++f->write_serial;
  f->fetched_at_ms = steady_ms();
  touch(m, f->path);
  return 0;
}

int op_truncate(const char* path, off_t size, fuse_file_info* fi) {
  MountContext& m = ctx();
  if (size > INT32_MAX) return -EFBIG;
  if (fi) return truncate_entry(m, handle_of(fi)->file, size);
  // Not open: open it, change it, send it, close it.
  FileRef f;
  int rc = open_content(m, path, size == 0, false, &f);
  if (rc != 0) return rc;
  rc = truncate_entry(m, f, size);
  if (rc == 0) rc = send_if_dirty(m, f);
  close_content(m, f);
  return rc;
}

}  // namespace

void add_file_operations(fuse_operations& ops) {
  ops.open = op_open;
  ops.create = op_create;
  ops.read_buf = op_read_buf;
  ops.write_buf = op_write_buf;
  ops.flush = op_flush;
  ops.fsync = op_fsync;
  ops.release = op_release;
  ops.truncate = op_truncate;
}

}  // namespace rq::mount
