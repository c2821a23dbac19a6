#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

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

}  // namespace rq
