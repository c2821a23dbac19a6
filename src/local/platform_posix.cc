#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "local/platform.h"

namespace rq {

// Names are bytes here, whatever their letters.
std::string local_name(const char* c_library_name) { return c_library_name; }

int local_open_read(const std::string& name) { return ::open(name.c_str(), O_RDONLY | O_CLOEXEC); }

int local_open_write(const std::string& name) {
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int local_create_new(const std::string& name) {
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

long long local_write_some(int fd, const uint8_t* data, size_t length) {
  ssize_t n;
  do {
    n = ::write(fd, data, length);
  } while (n < 0 && errno == EINTR);
  return n;
}

long long local_read_some(int fd, uint8_t* data, size_t length) {
  ssize_t n;
  do {
    n = ::read(fd, data, length);
  } while (n < 0 && errno == EINTR);
  return n;
}

int local_rewind(int fd) { return ::lseek(fd, 0, SEEK_SET) < 0 ? -1 : 0; }

int local_close(int fd) { return ::close(fd); }

void local_expect_large_block(void* data, size_t length) {
#ifdef MADV_HUGEPAGE
  // Only whole large pages inside the block can be given; its ragged ends keep small ones.
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(data) + length) & ~(kLargePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)length;
#endif
}

FILE* local_fopen(const std::string& name, const char* mode) { return fopen(name.c_str(), mode); }

namespace {

LocalStat stat_result(int rc, const struct stat& st) {
  LocalStat r;
  if (rc != 0) {
    r.error = errno;
    return r;
  }
  r.kind = S_ISREG(st.st_mode)   ? LocalKind::kFile
           : S_ISDIR(st.st_mode) ? LocalKind::kDirectory
           : S_ISLNK(st.st_mode) ? LocalKind::kLink
                                 : LocalKind::kOther;
  r.size = static_cast<int64_t>(st.st_size);
  r.device = static_cast<uint64_t>(st.st_dev);
  r.inode = static_cast<uint64_t>(st.st_ino);
  return r;
}

}  // namespace

LocalStat local_stat(const std::string& name) {
  struct stat st;
  int rc = ::stat(name.c_str(), &st);
  return stat_result(rc, st);
}

LocalStat local_lstat(const std::string& name) {
  struct stat st;
  int rc = ::lstat(name.c_str(), &st);
  return stat_result(rc, st);
}

LocalStat local_fstat(int fd) {
  struct stat st;
  int rc = ::fstat(fd, &st);
  return stat_result(rc, st);
}

std::string local_link_target(const std::string& name) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
  // Replacing the link itself would cut it from the file it names.
  char resolved[PATH_MAX];
  if (!realpath(name.c_str(), resolved)) return name;
  return resolved;
}

int local_replace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void local_remove(const std::string& name) { ::unlink(name.c_str()); }

int local_remove_file(const std::string& name) { return ::unlink(name.c_str()) == 0 ? 0 : errno; }

int local_remove_dir(const std::string& name) { return ::rmdir(name.c_str()) == 0 ? 0 : errno; }

void local_copy_permissions(const std::string& existing, const std::string& to) {
  struct stat st;
  if (::stat(existing.c_str(), &st) == 0) ::chmod(to.c_str(), st.st_mode & 07777);
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

int local_make_dir(const std::string& name) { return ::mkdir(name.c_str(), 0777) == 0 ? 0 : errno; }

bool local_names_windows() { return false; }

void set_binary_stdout() {}

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

// Every terminal met here knows the sequence.
bool stderr_enable_line_erase() { return true; }

// Nothing was switched.
void stderr_restore_mode() {}

bool console_end_leaves_line_open() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

}  // namespace rq
