#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "tool/platform.h"

namespace rq {

FILE* local_open(const std::string& name, const char* mode) { return fopen(name.c_str(), mode); }

FILE* local_create_new(const std::string& name) {
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb");
  if (!f) close(fd);
  return f;
}

int local_replace(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void local_remove(const std::string& name) { unlink(name.c_str()); }

int local_file_size(FILE* f, int64_t* size) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return -1;
  *size = static_cast<int64_t>(st.st_size);
  return 0;
}

void local_copy_permissions(const std::string& existing, const std::string& to_name) {
  struct stat st;
  if (stat(existing.c_str(), &st) == 0) chmod(to_name.c_str(), st.st_mode & 07777);
}

LocalKind local_kind(const std::string& name) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return LocalKind::kMissing;
  return S_ISREG(st.st_mode) ? LocalKind::kRegular : LocalKind::kOther;
}

std::string local_write_target(const std::string& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
  // Replacing the link itself would cut it from the file it names.
  char resolved[PATH_MAX];
  if (!realpath(name.c_str(), resolved)) return name;
  return resolved;
}

namespace {

LocalStat stat_result(int rc, const struct stat& st) {
  LocalStat r;
  if (rc != 0) {
    r.error = errno;
    return r;
  }
  r.kind = S_ISREG(st.st_mode)   ? LocalEntryKind::kFile
           : S_ISDIR(st.st_mode) ? LocalEntryKind::kDirectory
           : S_ISLNK(st.st_mode) ? LocalEntryKind::kLink
                                 : LocalEntryKind::kOther;
  r.device = static_cast<uint64_t>(st.st_dev);
  r.inode = static_cast<uint64_t>(st.st_ino);
  return r;
}

}  // namespace

LocalStat local_lstat(const std::string& name) {
  struct stat st;
  int rc = lstat(name.c_str(), &st);
  return stat_result(rc, st);
}

LocalStat local_stat(const std::string& name) {
  struct stat st;
  int rc = stat(name.c_str(), &st);
  return stat_result(rc, st);
}

int local_list_dir(const std::string& name, std::vector<std::string>* names) {
  names->clear();
  DIR* d = opendir(name.c_str());
  if (!d) return errno;
  errno = 0;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names->push_back(e->d_name);
    errno = 0;
  }
  int error = errno;
  closedir(d);
  std::sort(names->begin(), names->end());
  return error;
}

int local_make_dir(const std::string& name) { return mkdir(name.c_str(), 0777) == 0 ? 0 : errno; }

bool local_names_windows() { return false; }

std::string local_error_text(int error) { return strerror(error); }

void set_binary_stdout() {}

bool stderr_on_terminal() { return isatty(STDERR_FILENO) == 1; }

int process_id() { return static_cast<int>(getpid()); }

void pause_ms(int ms) {
  timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace rq
