#include "tool/local_stream.h"

#include <cerrno>
#include <cstring>

#include "tool/platform.h"
#include "transfer/interrupt_cleanup.h"

namespace rq {

namespace {

constexpr size_t kCompareBuffer = 16384;

long source_read(void* context, uint8_t* buffer, size_t length) {
  StreamSource& s = *static_cast<StreamSource*>(context);
  int64_t now = 0;
  if (local_file_size(s.file, &now) != 0 || now != s.size) {
    s.changed = true;
    return -1;
  }
  size_t got = fread(buffer, 1, length, s.file);
  if (got < length) {
    if (ferror(s.file))
      s.read_error = errno ? errno : EIO;
    else
      s.changed = true;
    return -1;
  }
  s.given += static_cast<int64_t>(got);
  // The last announced byte: nothing may follow it.
  if (s.given == s.size && fgetc(s.file) != EOF) {
    s.changed = true;
    return -1;
  }
  return static_cast<long>(got);
}

int file_write(void* context, const uint8_t* data, size_t length) {
  DownloadFile& f = *static_cast<DownloadFile*>(context);
  if (f.write_error) return -1;
  if (fwrite(data, 1, length, f.file) != length) {
    f.write_error = errno ? errno : EIO;
    return -1;
  }
  return 0;
}

int compare_write(void* context, const uint8_t* data, size_t length) {
  CompareSink& c = *static_cast<CompareSink*>(context);
  uint8_t local[kCompareBuffer];
  size_t done = 0;
  while (done < length && c.first_difference < 0 && !c.local_ended) {
    size_t piece = length - done < sizeof local ? length - done : sizeof local;
    size_t got = fread(local, 1, piece, c.file);
    for (size_t i = 0; i < got; ++i) {
      if (local[i] != data[done + i]) {
        c.first_difference = c.offset + static_cast<int64_t>(i);
        break;
      }
    }
    if (c.first_difference < 0) c.offset += static_cast<int64_t>(got);
    if (got < piece) {
      if (ferror(c.file)) c.read_error = errno ? errno : EIO;
      c.local_ended = true;
    }
    done += got;
  }
  return 0;  // the image is read to its end either way
}

}  // namespace

StreamSource::~StreamSource() {
  if (file) fclose(file);
}

int open_stream_source(StreamSource& s, const std::string& name, std::string* why) {
  s.name = name;
  if (local_kind(name) == LocalKind::kOther) {
    *why = "cannot send " + name + ": not a regular file";
    return -1;
  }
  s.file = local_open(name, "rb");
  if (!s.file) {
    *why = "cannot open " + name + ": " + local_error_text(errno);
    return -1;
  }
  if (local_file_size(s.file, &s.size) != 0) {
    *why = "cannot read " + name + ": " + local_error_text(errno);
    return -1;
  }
  return 0;
}

DataSource stream_source(StreamSource& s) { return DataSource{&s, source_read}; }

DownloadFile::~DownloadFile() { abandon_download(*this); }

int open_download(DownloadFile& f, const std::string& name, std::string* why) {
  if (name == "-") {
    set_binary_stdout();
    f.file = stdout;
    f.to_stdout = true;
    return 0;
  }
  f.target = local_write_target(name);
  LocalKind kind = local_kind(f.target);
  if (kind == LocalKind::kOther) {
    // A device or a pipe holds nothing to lose and must not be replaced by a file.
    f.file = local_open(f.target, "wb");
    if (!f.file) {
      *why = "cannot open " + name + ": " + local_error_text(errno);
      return -1;
    }
    return 0;
  }
  if (kind == LocalKind::kRegular) {
    // A file its owner cannot write is not replaced behind their back either.
    FILE* probe = local_open(f.target, "r+b");
    if (!probe) {
      *why = "cannot write " + name + ": " + local_error_text(errno);
      return -1;
    }
    fclose(probe);
    f.existed = true;
  }
  size_t slash = f.target.find_last_of("/\\");
  std::string dir = slash == std::string::npos ? "" : f.target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? f.target : f.target.substr(slash + 1);
  for (int attempt = 0; attempt < 100 && !f.file; ++attempt) {
    f.temporary = dir + "." + base + ".rqtool-" + std::to_string(process_id()) + "-" +
                  std::to_string(attempt);
    // A name in use is passed over before arming: an interrupt must not remove that file.
    if (local_kind(f.temporary) != LocalKind::kMissing) {
      errno = EEXIST;
      continue;
    }
    // Armed first: an interrupt right after the file appears still removes it.
    if (arm_interrupt_cleanup(f.temporary.c_str(), PathText::kUtf8) != 0) {
      errno = ENAMETOOLONG;
      break;
    }
    f.file = local_create_new(f.temporary);
    if (!f.file && errno != EEXIST) break;
  }
  if (!f.file) {
    int error = errno;
    disarm_interrupt_cleanup();
    *why = "cannot write " + name + ": " + local_error_text(error);
    f.temporary.clear();
    return -1;
  }
  interrupt_cleanup_opened(f.file);
  return 0;
}

DataSink download_sink(DownloadFile& f) { return DataSink{&f, file_write}; }

int commit_download(DownloadFile& f, std::string* why) {
  if (f.to_stdout) {
    if (!f.write_error && fflush(stdout) != 0) f.write_error = errno ? errno : EIO;
    f.file = nullptr;
    if (f.write_error) *why = "cannot write standard output: " + local_error_text(f.write_error);
    return f.write_error ? -1 : 0;
  }
  if (fclose(f.file) != 0 && !f.write_error) f.write_error = errno ? errno : EIO;
  f.file = nullptr;
  if (f.write_error) {
    *why = "cannot write " + f.target + ": " + local_error_text(f.write_error);
    abandon_download(f);
    return -1;
  }
  if (!f.temporary.empty()) {
    if (f.existed) local_copy_permissions(f.target, f.temporary);
    int error = local_replace(f.temporary, f.target);
    if (error) {
      *why = "cannot replace " + f.target + ": " + local_error_text(error);
      abandon_download(f);
      return -1;
    }
    f.temporary.clear();
    disarm_interrupt_cleanup();
  }
  return 0;
}

void abandon_download(DownloadFile& f) {
  if (f.file && !f.to_stdout) fclose(f.file);
  if (f.to_stdout) fflush(stdout);
  f.file = nullptr;
  if (!f.temporary.empty()) {
    local_remove(f.temporary);
    f.temporary.clear();
    disarm_interrupt_cleanup();
  }
}

DataSink compare_sink(CompareSink& c) { return DataSink{&c, compare_write}; }

}  // namespace rq
