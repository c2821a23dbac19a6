#include "local/whole_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "local/platform.h"

namespace rq {

namespace {

LocalFailure failed(LocalFailed what, int error, int64_t size = 0, int64_t done = 0) {
  return LocalFailure{what, error, size, done};
}

}  // namespace

LocalFailure load_local_file(const std::string& name, LocalFile& file) {
  free_local_file(file);
  int fd = local_open_read(name);
  if (fd < 0) return failed(LocalFailed::kOpen, errno);
  // The size of what was opened, not of whatever the name means a moment later.
  LocalStat st = local_fstat(fd);
  int error = st.error;
  if (!error && st.kind == LocalKind::kDirectory) error = EISDIR;
  if (!error && st.kind != LocalKind::kFile) error = ENOTSUP;
  if (error) {
    local_close(fd);
    return failed(LocalFailed::kSize, error);
  }
  auto size = static_cast<uint64_t>(st.size);
  if (size > kMaxSendableFileSize) {
    local_close(fd);
    return failed(LocalFailed::kTooLarge, 0, st.size);
  }
  auto* data = static_cast<uint8_t*>(malloc(size ? size : 1));
  if (!data) {
    local_close(fd);
    return failed(LocalFailed::kNoMemory, ENOMEM, st.size);
  }
  // One large read straight into the block; no stream buffer in between.
  local_expect_large_block(data, size);
  errno = 0;
  long long got = local_read_full(fd, data, size);
  int read_error = got < 0 ? (errno ? errno : EIO) : 0;
  local_close(fd);
  if (got < 0) got = 0;
  if (static_cast<uint64_t>(got) != size) {
    free(data);
    return failed(LocalFailed::kRead, read_error, st.size, got);
  }
  file.data = data;
  file.size = static_cast<int32_t>(size);
  return LocalFailure{};
}

LocalFile::~LocalFile() { free(data); }

void free_local_file(LocalFile& file) {
  free(file.data);
  file.data = nullptr;
  file.size = 0;
  file.offset = 0;
}

static long read_loaded(void* context, uint8_t* buffer, size_t length) {
  auto& file = *static_cast<LocalFile*>(context);
  size_t left = static_cast<size_t>(file.size) - file.offset;
  if (length > left) length = left;
  memcpy(buffer, file.data + file.offset, length);
  file.offset += length;
  return static_cast<long>(length);
}

static const uint8_t* view_loaded(void* context, size_t length) {
  auto& file = *static_cast<LocalFile*>(context);
  if (length > static_cast<size_t>(file.size) - file.offset) return nullptr;
  const uint8_t* at = file.data + file.offset;
  file.offset += length;
  return at;
}

DataSource local_file_source(LocalFile& file) {
  file.offset = 0;
  return DataSource{&file, read_loaded, view_loaded};
}

}  // namespace rq
