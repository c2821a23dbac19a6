// Local files streamed through a transfer's own buffer, so memory stays flat at any size: a
// source that reads a file chunk by chunk and notices a file that changes size while it is
// sent, and a sink that compares what the device sends with a local file.
#pragma once

#include <cstdint>
#include <string>

#include "device/file_transfer.h"
#include "local/local_failure.h"

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

  int fd = -1;
  int64_t size = 0;
  int64_t given = 0;
  bool changed = false;
  int read_error = 0;  // errno of a failed read
};

// Opens name (local spelling, platform.h). Fails with kNotRegular (a directory, a device or
// a pipe), kOpen or kSize.
LocalFailure open_stream_source(StreamSource& s, const std::string& name);
DataSource stream_source(StreamSource& s);

// Whether the file yields nothing more from where it stands (one byte is read to see; one
// that comes sets changed, a failed read read_error). A file announced empty sends no chunk,
// so only this finds, before anything is sent, one that says 0 and yields bytes all the
// same, as the files under /proc do.
bool stream_source_at_end(StreamSource& s);

// Compares what arrives with a local file, read from where fd stands through a fixed
// buffer. The download is read to its end whatever the comparison finds.
struct CompareSink {
  int fd = -1;         // not owned
  int64_t offset = 0;  // bytes compared so far
  int64_t first_difference = -1;
  bool local_ended = false;  // the local file ended before the data did
  int read_error = 0;
};
DataSink compare_sink(CompareSink& c);

}  // namespace rq
