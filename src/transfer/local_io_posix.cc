#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "transfer/local_io.h"

namespace rq {

int local_create_new(const char* path) {
  return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

int local_open_write(const char* path) {
  return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int local_open_read(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC); }

int local_write_all(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) {
      errno = EIO;
      return -1;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

long long local_read_full(int fd, uint8_t* data, size_t length) {
  size_t got = 0;
  while (got < length) {
    ssize_t n = ::read(fd, data + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<long long>(got);
}

int local_close(int fd) { return ::close(fd); }

}  // namespace rq
