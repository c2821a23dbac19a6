#include "transfer/local_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "transfer/local_io.h"

namespace rq {

int load_local_file(Shell& c, const char* path, LocalFile& file) {
  free_local_file(file);
  int fd = local_open_read(path);
  if (fd < 0) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "Cannot open PC file %s\n", path);
    return -1;
  }
  // The size comes from the name rather than from ftell, whose long is 32 bits on Windows.
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "Cannot read PC file %s: %s\n", path, ec.message().c_str());
    local_close(fd);
    return -1;
  }
  if (size > kMaxSendableFileSize) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "PC file %s is too large: %ju bytes, at most %ju can be sent\n", path,
            size, static_cast<uintmax_t>(kMaxSendableFileSize));
    local_close(fd);
    return -1;
  }
  auto* data = static_cast<uint8_t*>(malloc(size ? size : 1));
  if (!data) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "Not enough memory to hold PC file %s (%ju bytes)\n", path, size);
    local_close(fd);
    return -1;
  }
  // One large read straight into the block; no stream buffer in between.
  local_expect_large_block(data, size);
  errno = 0;
  long long got = local_read_full(fd, data, size);
  int read_error = got < 0 ? (errno ? errno : EIO) : 0;
  local_close(fd);
  if (got < 0) got = 0;
  if (static_cast<uintmax_t>(got) != size) {
    note_outcome(c, CommandOutcome::kLocalFile);
    if (read_error)
      fprintf(c.console_out, "Cannot read PC file %s: %s\n", path, strerror(read_error));
    else
      fprintf(c.console_out, "Cannot read PC file %s: only %zu of %ju bytes could be read\n", path,
              static_cast<size_t>(got), size);
    free(data);
    return -1;
  }
  file.data = data;
  file.size = static_cast<int32_t>(size);
  return 0;
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
