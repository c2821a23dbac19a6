#include "device_path.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "device_status.h"
#include "link/protocol.h"

namespace rq::sim {

static bool forbidden_byte(char ch) { return ch == '\\' || ch == '\0' || ch == 1 || ch == 2; }

int resolve_device_path(const char* cwd, const char* path, size_t length, char* out) {
  // Room for the current directory plus the longest path one frame can carry, so that a
  // long path that ".." brings back under the limit still resolves.
  char work[kMaxDevicePath + kMaxPayload + 2];
  size_t n = 0;  // work holds "" for the root, else "/a/b"
  if (length == 0 || path[0] != '/') {
    n = std::strlen(cwd);
    if (n > kMaxDevicePath) return -kStatusPathTooLong;
    std::memcpy(work, cwd, n);
    if (n == 1) n = 0;  // "/"
  }
  size_t i = 0;
  while (i < length) {
    if (path[i] == '/') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < length && path[j] != '/') ++j;
    const char* part = path + i;
    size_t part_length = j - i;
    i = j;
    if (part_length == 1 && part[0] == '.') continue;
    if (part_length == 2 && part[0] == '.' && part[1] == '.') {
      if (n == 0) return -kStatusInvalidPath;  // above the root
      while (n > 0 && work[n - 1] != '/') --n;
      --n;  // the slash itself
      continue;
    }
    for (size_t k = 0; k < part_length; ++k)
      if (forbidden_byte(part[k])) return -kStatusInvalidPath;
    if (n + 1 + part_length > sizeof work) return -kStatusPathTooLong;
    work[n++] = '/';
    std::memcpy(work + n, part, part_length);
    n += part_length;
  }
  if (n == 0) {
    out[0] = '/';
    out[1] = '\0';
    return 1;
  }
  if (n > kMaxDevicePath) return -kStatusPathTooLong;
  std::memcpy(out, work, n);
  out[n] = '\0';
  return static_cast<int>(n);
}

// Why a component could not be opened as a directory: gone, a link, or not a directory.
static int walk_failure(int dir_fd, const char* name, int error) {
  struct stat st;
  if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) return -kStatusAccess;
    if (!S_ISDIR(st.st_mode)) return -kStatusInvalidPath;
  }
  return -status_for_errno(error);
}

int open_parent_dir(int root_fd, const char* resolved, const char** leaf) {
  int fd = openat(root_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -status_for_errno(errno);
  const char* p = resolved[0] == '/' ? resolved + 1 : resolved;
  for (;;) {
    const char* slash = std::strchr(p, '/');
    if (!slash) {
      *leaf = p;
      return fd;
    }
    char name[kMaxDevicePath + 1];
    size_t length = static_cast<size_t>(slash - p);
    std::memcpy(name, p, length);
    name[length] = '\0';
    int next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      int status = walk_failure(fd, name, errno);
      close(fd);
      return status;
    }
    close(fd);
    fd = next;
    p = slash + 1;
  }
}

int open_device_dir(int root_fd, const char* resolved) {
  const char* leaf;
  int parent = open_parent_dir(root_fd, resolved, &leaf);
  if (parent < 0 || leaf[0] == '\0') return parent;
  int fd = openat(parent, leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) fd = walk_failure(parent, leaf, errno);
  close(parent);
  return fd;
}

}  // namespace rq::sim
