// What the platform twins would write alike: the loops over their single reads and writes,
// and the text for an errno value.
#include "local/platform.h"

#include <cerrno>
#include <cstring>

namespace rq {

int local_write_all(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    long long n = local_write_some(fd, data, length);
    if (n < 0) return -1;
    // A write that takes nothing would be tried for ever.
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
    long long n = local_read_some(fd, data + got, length - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<long long>(got);
}

std::string local_error_text(int error) { return strerror(error); }

}  // namespace rq
