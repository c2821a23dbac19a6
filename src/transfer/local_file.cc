#include "transfer/local_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace rq {

int load_local_file(Shell& c, const char* path, LocalFile& file) {
  free_local_file(file);
  FILE* f = fopen(path, "rb");
  if (!f) {
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
    fclose(f);
    return -1;
  }
  if (size > kMaxSendableFileSize) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "PC file %s is too large: %ju bytes, at most %ju can be sent\n", path,
            size, static_cast<uintmax_t>(kMaxSendableFileSize));
    fclose(f);
    return -1;
  }
  auto* data = static_cast<uint8_t*>(malloc(size ? size : 1));
  if (!data) {
    note_outcome(c, CommandOutcome::kLocalFile);
    fprintf(c.console_out, "Not enough memory to hold PC file %s (%ju bytes)\n", path, size);
    fclose(f);
    return -1;
  }
  size_t got = fread(data, 1, size, f);
  int read_error = ferror(f) ? errno : 0;
  fclose(f);
  if (got != size) {
    note_outcome(c, CommandOutcome::kLocalFile);
    if (read_error)
      fprintf(c.console_out, "Cannot read PC file %s: %s\n", path, strerror(read_error));
    else
      fprintf(c.console_out, "Cannot read PC file %s: only %zu of %ju bytes could be read\n", path,
              got, size);
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

DataSource local_file_source(LocalFile& file) {
  file.offset = 0;
  return DataSource{&file, read_loaded};
}

}  // namespace rq
