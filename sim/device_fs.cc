#include "device_fs.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "device_status.h"

namespace rq::sim {

namespace {

// The directory holding a path's last component, and that component.
struct Target {
  int dir_fd = -1;
  const char* leaf = "";
  char resolved[kMaxDevicePath + 1];
};

// Resolves and opens path's parent. An empty path is refused: only cd and ls give it a
// meaning of their own.
int open_target(DeviceFs& fs, const char* path, Target& t) {
  if (path[0] == '\0') return -kStatusInvalidPath;
  int rc = resolve_device_path(fs.cwd, path, std::strlen(path), t.resolved);
  if (rc < 0) return rc;
  int fd = open_parent_dir(fs.root_fd, t.resolved, &t.leaf);
  if (fd < 0) return fd;
  t.dir_fd = fd;
  return 0;
}

void close_target(Target& t) {
  if (t.dir_fd >= 0) close(t.dir_fd);
  t.dir_fd = -1;
}

bool is_root(const Target& t) { return t.leaf[0] == '\0'; }

// lstat of the target; a symbolic link counts as inaccessible.
int stat_target(const Target& t, struct stat* st) {
  int rc = is_root(t) ? fstat(t.dir_fd, st) : fstatat(t.dir_fd, t.leaf, st, AT_SYMLINK_NOFOLLOW);
  if (rc != 0) return -status_for_errno(errno);
  if (S_ISLNK(st->st_mode)) return -kStatusAccess;
  return 0;
}

int32_t clamp_size(off_t size) {
  return size > kMaxDeviceFileSize ? static_cast<int32_t>(kMaxDeviceFileSize)
                                   : static_cast<int32_t>(size);
}

// Opens a regular file without following a link and without blocking on a FIFO.
int open_regular(const Target& t, struct stat* st) {
  if (is_root(t)) return -kStatusInvalidParameter;
  int fd = openat(t.dir_fd, t.leaf, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -status_for_errno(errno);
  int status = 0;
  if (fstat(fd, st) != 0)
    status = status_for_errno(errno);
  else if (S_ISDIR(st->st_mode))
    status = kStatusInvalidParameter;
  else if (!S_ISREG(st->st_mode))
    status = kStatusAccess;
  if (status != 0) {
    close(fd);
    return -status;
  }
  return fd;
}

// Opens path's regular file to read, with its attributes in *st: the descriptor, or a
// negative status. resolved, when given, receives the resolved path (kMaxDevicePath + 1).
int open_regular_path(DeviceFs& fs, const char* path, struct stat* st, char* resolved = nullptr) {
  Target t;
  int rc = open_target(fs, path, t);
  if (rc < 0) return rc;
  if (resolved) std::strcpy(resolved, t.resolved);
  int fd = (rc = stat_target(t, st)) < 0 ? rc : open_regular(t, st);
  close_target(t);
  return fd;
}

// Removes everything inside dir_fd, depth first, without following links.
int empty_directory(int dir_fd, int depth) {
  if (depth > 128) return -kStatusFsError;
  int fd = openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -status_for_errno(errno);
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return -kStatusFsError;
  }
  int result = 0;
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat st;
    if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    int rc = 0;
    if (S_ISDIR(st.st_mode)) {
      int sub = openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) {
        rc = -status_for_errno(errno);
      } else {
        rc = empty_directory(sub, depth + 1);
        close(sub);
      }
      if (rc == 0 && unlinkat(dir_fd, name, AT_REMOVEDIR) != 0) rc = -status_for_errno(errno);
    } else if (unlinkat(dir_fd, name, 0) != 0) {
      rc = -status_for_errno(errno);
    }
    if (rc != 0 && result == 0) result = rc;
  }
  closedir(dir);
  return result;
}

}  // namespace

void fs_reset_session(DeviceFs& fs) { std::strcpy(fs.cwd, "/"); }

int fs_change_dir(DeviceFs& fs, const char* path) {
  if (path[0] == '\0') {
    std::strcpy(fs.cwd, "/");
    return 0;
  }
  char resolved[kMaxDevicePath + 1];
  int rc = resolve_device_path(fs.cwd, path, std::strlen(path), resolved);
  if (rc < 0) return rc;
  int fd = open_device_dir(fs.root_fd, resolved);
  if (fd < 0) return fd;
  close(fd);
  std::strcpy(fs.cwd, resolved);
  return 0;
}

int fs_make_dir(DeviceFs& fs, const char* path) {
  Target t;
  int rc = open_target(fs, path, t);
  if (rc < 0) return rc;
  if (is_root(t))
    rc = -kStatusExists;
  else if (mkdirat(t.dir_fd, t.leaf, 0755) != 0)
    rc = -status_for_errno(errno);
  close_target(t);
  return rc;
}

int fs_remove(DeviceFs& fs, const char* path) {
  Target t;
  int rc = open_target(fs, path, t);
  if (rc < 0) return rc;
  struct stat st;
  if (is_root(t)) {
    rc = -kStatusInvalidParameter;
  } else if ((rc = stat_target(t, &st)) == 0) {
    if (S_ISDIR(st.st_mode)) {
      if (unlinkat(t.dir_fd, t.leaf, AT_REMOVEDIR) != 0)
        rc = (errno == ENOTEMPTY || errno == EEXIST) ? -kStatusAccess : -status_for_errno(errno);
    } else if (unlinkat(t.dir_fd, t.leaf, 0) != 0) {
      rc = -status_for_errno(errno);
    }
  }
  close_target(t);
  return rc;
}

int fs_rename(DeviceFs& fs, const char* from, const char* to) {
  Target src, dst;
  int rc = open_target(fs, from, src);
  if (rc == 0) rc = open_target(fs, to, dst);
  struct stat st;
  if (rc == 0) {
    if (is_root(src))
      rc = -kStatusInvalidParameter;
    else if (is_root(dst))
      rc = -kStatusExists;
    else if ((rc = stat_target(src, &st)) == 0) {
      if (fstatat(dst.dir_fd, dst.leaf, &st, AT_SYMLINK_NOFOLLOW) == 0)
        rc = -kStatusExists;
      else if (renameat(src.dir_fd, src.leaf, dst.dir_fd, dst.leaf) != 0)
        rc = -status_for_errno(errno);  // EINVAL: a directory into itself
    }
  }
  close_target(src);
  close_target(dst);
  return rc;
}

int fs_copy(DeviceFs& fs, const char* from, const char* to, uint8_t* buffer, size_t size) {
  struct stat st;
  int in = open_regular_path(fs, from, &st);
  if (in < 0) return in;

  Upload up;
  Target dst;
  int rc = open_target(fs, to, dst);
  if (rc == 0) {
    struct stat existing;
    if (is_root(dst) || fstatat(dst.dir_fd, dst.leaf, &existing, AT_SYMLINK_NOFOLLOW) == 0)
      rc = -kStatusExists;
    close_target(dst);
  }
  if (rc == 0) rc = fs_upload_begin(fs, to, up);
  while (rc == 0) {
    int n = fs_read_full(in, buffer, size);
    if (n <= 0) {
      rc = n;
      break;
    }
    rc = fs_upload_write(up, buffer, static_cast<size_t>(n));
  }
  close(in);
  if (rc == 0) return fs_upload_commit(up);
  fs_upload_abort(up);
  return rc;
}

int fs_format(DeviceFs& fs) {
  int rc = empty_directory(fs.root_fd, 0);
  std::strcpy(fs.cwd, "/");
  return rc;
}

int fs_check_launchable(DeviceFs& fs, const char* path, char* resolved) {
  struct stat st;
  int fd = open_regular_path(fs, path, &st, resolved);
  if (fd < 0) return fd;
  uint8_t magic[4] = {};
  ssize_t n = read(fd, magic, sizeof magic);
  close(fd);
  static const uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
  if (n != 4 || std::memcmp(magic, kElfMagic, 4) != 0) return -kStatusInvalidParameter;
  return 0;
}

int fs_list(DeviceFs& fs, const char* path, ListingBuilder& builder, uint8_t* reply) {
  Target t;
  int rc = open_target(fs, path[0] == '\0' ? "." : path, t);
  if (rc < 0) return rc;
  struct stat st;
  if ((rc = stat_target(t, &st)) < 0) {
    close_target(t);
    return rc;
  }
  if (S_ISREG(st.st_mode)) {
    close_target(t);
    FileRecord r;
    r.attr = static_cast<int32_t>(st.st_mode & 0777);
    r.own = static_cast<int32_t>((st.st_mode >> 6) & 7);
    r.grp = static_cast<int32_t>((st.st_mode >> 3) & 7);
    r.other = static_cast<int32_t>(st.st_mode & 7);
    r.size = clamp_size(st.st_size);
    return static_cast<int>(encode_file_record(r, reply));
  }
  if (!S_ISDIR(st.st_mode)) {
    close_target(t);
    return -kStatusAccess;
  }
  int fd = is_root(t) ? openat(t.dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                      : openat(t.dir_fd, t.leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  close_target(t);
  if (fd < 0) return -status_for_errno(errno);
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return -kStatusFsError;
  }
  listing_begin(builder);
  while (dirent* e = readdir(dir)) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat entry;
    if (fstatat(fd, name, &entry, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(entry.st_mode))
      listing_add(builder, name, std::strlen(name), kEntryDirectory);
    else if (S_ISREG(entry.st_mode))
      listing_add(builder, name, std::strlen(name), kEntryFile);
  }
  closedir(dir);
  return static_cast<int>(listing_encode(builder, reply));
}

int fs_open_read(DeviceFs& fs, const char* path, int64_t* size) {
  struct stat st;
  int fd = open_regular_path(fs, path, &st);
  if (fd < 0) return fd;
  if (st.st_size > kMaxDeviceFileSize) {
    close(fd);
    return -kStatusInvalidParameter;
  }
  *size = st.st_size;
  return fd;
}

int fs_upload_begin(DeviceFs& fs, const char* path, Upload& up, UploadMode mode) {
  Target t;
  int rc = open_target(fs, path, t);
  if (rc < 0) return rc;
  struct stat st;
  if (is_root(t)) {
    rc = -kStatusExists;
  } else if (fstatat(t.dir_fd, t.leaf, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(st.st_mode))
      rc = -kStatusExists;
    else if (!S_ISREG(st.st_mode))
      rc = -kStatusAccess;
  }
  up.in_place = mode == UploadMode::kInPlace;
  if (rc == 0 && up.in_place) {
    up.fd = openat(t.dir_fd, t.leaf, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (up.fd < 0) rc = -status_for_errno(errno);
  }
  for (int attempt = 0; rc == 0 && !up.in_place; ++attempt) {
    snprintf(up.temp, sizeof up.temp, "%s%u", kUploadPrefix, ++fs.temp_serial);
    up.fd = openat(t.dir_fd, up.temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (up.fd >= 0) break;
    if (errno != EEXIST || attempt > 100) rc = -status_for_errno(errno);
  }
  if (rc < 0) {
    close_target(t);
    return rc;
  }
  std::strcpy(up.name, t.leaf);
  up.dir_fd = t.dir_fd;
  return 0;
}

int fs_read_full(int fd, uint8_t* buffer, size_t length) {
  size_t got = 0;
  while (got < length) {
    ssize_t n = read(fd, buffer + got, length - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -status_for_errno(errno);
    }
    got += static_cast<size_t>(n);
  }
  return static_cast<int>(got);
}

int fs_upload_write(Upload& up, const uint8_t* data, size_t length) {
  while (length > 0) {
    ssize_t n = write(up.fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -status_for_errno(errno);
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

int fs_upload_commit(Upload& up) {
  int rc = close(up.fd) == 0 ? 0 : -status_for_errno(errno);
  up.fd = -1;
  if (rc == 0 && !up.in_place && renameat(up.dir_fd, up.temp, up.dir_fd, up.name) != 0)
    rc = -status_for_errno(errno);
  if (rc != 0) {
    fs_upload_abort(up);
    return rc;
  }
  close(up.dir_fd);
  up.dir_fd = -1;
  return 0;
}

void fs_upload_abort(Upload& up) {
  if (up.fd >= 0) close(up.fd);
  up.fd = -1;
  if (up.dir_fd >= 0) {
    if (!up.in_place) unlinkat(up.dir_fd, up.temp, 0);
    close(up.dir_fd);
  }
  up.dir_fd = -1;
}

}  // namespace rq::sim
