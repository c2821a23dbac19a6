#include "local/stream.h"

#include <cerrno>

#include "local/platform.h"

namespace rq {

namespace {

constexpr size_t kCompareBuffer = 16384;

long source_read(void* context, uint8_t* buffer, size_t length) {
  StreamSource& s = *static_cast<StreamSource*>(context);
  LocalStat now = local_fstat(s.fd);
  if (now.error || now.size != s.size) {
    s.changed = true;
    return -1;
  }
  errno = 0;
  long long got = local_read_full(s.fd, buffer, length);
  if (got < 0) {
    s.read_error = errno ? errno : EIO;
    return -1;
  }
  if (static_cast<size_t>(got) < length) {
    s.changed = true;
    return -1;
  }
  s.given += got;
  // The last announced byte: nothing may follow it.
  uint8_t more;
  if (s.given == s.size && local_read_full(s.fd, &more, 1) != 0) {
    s.changed = true;
    return -1;
  }
  return static_cast<long>(got);
}

int compare_write(void* context, const uint8_t* data, size_t length) {
  CompareSink& c = *static_cast<CompareSink*>(context);
  uint8_t local[kCompareBuffer];
  size_t done = 0;
  while (done < length && c.first_difference < 0 && !c.local_ended) {
    size_t piece = length - done < sizeof local ? length - done : sizeof local;
    errno = 0;
    long long n = local_read_full(c.fd, local, piece);
    if (n < 0) c.read_error = errno ? errno : EIO;
    size_t got = n < 0 ? 0 : static_cast<size_t>(n);
    for (size_t i = 0; i < got; ++i) {
      if (local[i] != data[done + i]) {
        c.first_difference = c.offset + static_cast<int64_t>(i);
        break;
      }
    }
    if (c.first_difference < 0) c.offset += static_cast<int64_t>(got);
    if (got < piece) c.local_ended = true;
    done += got;
  }
  return 0;  // the image is read to its end either way
}

}  // namespace

StreamSource::~StreamSource() {
  if (fd >= 0) local_close(fd);
}

LocalFailure open_stream_source(StreamSource& s, const std::string& name) {
  LocalKind kind = local_stat(name).kind;
  if (kind == LocalKind::kDirectory || kind == LocalKind::kOther)
    return LocalFailure{LocalFailed::kNotRegular};
  s.fd = local_open_read(name);
  if (s.fd < 0) return LocalFailure{LocalFailed::kOpen, errno};
  LocalStat st = local_fstat(s.fd);
  if (st.error) return LocalFailure{LocalFailed::kSize, st.error};
  s.size = st.size;
  return LocalFailure{};
}

DataSource stream_source(StreamSource& s) { return DataSource{&s, source_read}; }

bool stream_source_at_end(StreamSource& s) {
  uint8_t more;
  errno = 0;
  long long got = local_read_full(s.fd, &more, 1);
  if (got < 0) s.read_error = errno ? errno : EIO;
  if (got > 0) s.changed = true;
  return got == 0;
}

DataSink compare_sink(CompareSink& c) { return DataSink{&c, compare_write}; }

}  // namespace rq
