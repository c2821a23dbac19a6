#include "mount/cache_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace rq::mount {

namespace {

// Room kept free beside a download, so the cache never fills the disk to the last byte.
constexpr int64_t kFreeSpaceMargin = 16 * 1024 * 1024;

// Makes dir with mode 0700 if missing; it must then be a directory of ours, not a link.
int private_dir(const std::string& dir, std::string* why) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = "cannot make " + dir + ": " + strerror(errno);
    return -1;
  }
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
    *why = dir + " is not a directory of this user";
    return -1;
  }
  return 0;
}

}  // namespace

int open_cache_dir(CacheDir& c, const std::string& given, const std::string& mountpoint,
                   std::string* why) {
  if (!given.empty()) {
    c.root = given;
  } else {
    const char* base = getenv("XDG_RUNTIME_DIR");
    if (!base || !*base) base = getenv("TMPDIR");
    if (!base || !*base) base = "/tmp";
    std::string top = std::string(base) + "/rqmount-" + std::to_string(geteuid());
    if (private_dir(top, why) != 0) return -1;
    char real[PATH_MAX];
    std::string name = realpath(mountpoint.c_str(), real) ? real : mountpoint;
    for (char& ch : name)
      if (ch == '/') ch = '_';
    c.root = top + "/" + name;
  }
  c.files = c.root + "/files";
  c.unsent = c.root + "/unsent";
  if (private_dir(c.root, why) != 0 || private_dir(c.files, why) != 0 ||
      private_dir(c.unsent, why) != 0)
    return -1;
  clear_cache_files(c);
  return 0;
}

int create_cache_file(CacheDir& c, std::string* path) {
  for (int tries = 0; tries < 100; ++tries) {
    std::string p = c.files + "/" + std::to_string(++c.next_serial);
    int fd = open(p.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      *path = p;
      return fd;
    }
    if (errno != EEXIST) return -errno;
  }
  return -EEXIST;
}

int check_free_space(const CacheDir& c, int64_t bytes) {
  struct statvfs vfs;
  if (statvfs(c.files.c_str(), &vfs) != 0) return 0;  // unknown: let the writes tell
  int64_t free_bytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  return free_bytes < bytes + kFreeSpaceMargin ? -ENOSPC : 0;
}

std::string keep_unsent(const CacheDir& c, const std::string& cache_path,
                        const std::string& device_path) {
  std::string name = device_path;
  for (char& ch : name)
    if (ch == '/') ch = '_';
  char stamp[32];
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S-", &local);
  for (int n = 0; n < 1000; ++n) {
    std::string target = c.unsent + "/" + stamp + std::to_string(n) + name;
    if (access(target.c_str(), F_OK) == 0) continue;
    if (rename(cache_path.c_str(), target.c_str()) == 0) return target;
    return "";
  }
  return "";
}

void clear_cache_files(const CacheDir& c) {
  DIR* dir = opendir(c.files.c_str());
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    unlinkat(dirfd(dir), e->d_name, 0);
  }
  closedir(dir);
}

}  // namespace rq::mount
