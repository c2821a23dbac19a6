#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "transfer/local_io.h"

namespace rq {

namespace {

// The C runtime takes an unsigned int count; larger requests go in pieces of this size.
constexpr size_t kLargestPiece = 1u << 30;

unsigned piece(size_t length) {
  return static_cast<unsigned>(length < kLargestPiece ? length : kLargestPiece);
}

}  // namespace

int local_create_new(const char* path) {
  return ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

int local_open_write(const char* path) {
  return ::_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

int local_open_read(const char* path) {
  return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int local_write_all(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    int n = ::_write(fd, data, piece(length));
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
    int n = ::_read(fd, data + got, piece(length - got));
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<long long>(got);
}

int local_close(int fd) { return ::_close(fd); }

// Large pages need a privilege a shell does not have; the block keeps its small pages.
void local_expect_large_block(void*, size_t) {}

}  // namespace rq
