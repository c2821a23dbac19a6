// Local files as the device exchanges see them: a source that reads a file through the
// exchange's own buffer and notices a file that changes size while it is sent, a sink that
// writes a download's temporary file (or standard output), and a sink that compares what
// the device sends with a local file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "device/file_transfer.h"

namespace rq {

// The file's size is taken when it is opened; every chunk checks it again, and after the
// last announced byte the file must end there. A file that grew, shrank or could not be
// read makes the source give less than asked, so the exchange stops before the device is
// sent anything but the announced file.
struct StreamSource {
  StreamSource() = default;
  StreamSource(const StreamSource&) = delete;
  StreamSource& operator=(const StreamSource&) = delete;
  ~StreamSource();

  FILE* file = nullptr;
  std::string name;
  int64_t size = 0;
  int64_t given = 0;
  bool changed = false;
  int read_error = 0;  // errno
};

// Opens name. Returns 0, or -1 with *why set.
int open_stream_source(StreamSource& s, const std::string& name, std::string* why);
DataSource stream_source(StreamSource& s);

// A download's destination: standard output, a target written in place (a device or a
// pipe), or a temporary file beside the target that replaces it on commit.
struct DownloadFile {
  DownloadFile() = default;
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;
  ~DownloadFile();  // abandons an uncommitted temporary file

  FILE* file = nullptr;
  bool to_stdout = false;
  std::string target;
  std::string temporary;  // empty when written in place
  bool existed = false;   // the target was a regular file: its permissions carry over
  int write_error = 0;    // errno of the first failed write
};

// Returns 0, or -1 with *why set (nothing is left behind).
int open_download(DownloadFile& f, const std::string& name, std::string* why);
DataSink download_sink(DownloadFile& f);
// Flushes, closes and moves the temporary file over the target. 0, or -1 with *why.
int commit_download(DownloadFile& f, std::string* why);
void abandon_download(DownloadFile& f);

// Compares what arrives with a local file, through a fixed buffer.
struct CompareSink {
  FILE* file = nullptr;
  int64_t offset = 0;  // bytes compared so far
  int64_t first_difference = -1;
  bool local_ended = false;  // the local file ended before the data did
  int read_error = 0;
};
DataSink compare_sink(CompareSink& c);

}  // namespace rq
