// The local file a download writes (rqshell's get and rb, rqtool's get and boot read). Data
// goes to a fresh file beside the target and replaces the target only once the whole
// transfer has succeeded, so a refused command, a bad status, a lost connection, a full disk
// or an interrupt never destroys what the target held, and nothing is left behind.
// - A symbolic link is written through: the file it leads to is replaced, the link stays.
// - A target that exists but is no regular file (a device such as /dev/null, a pipe; on
//   Windows a reserved device name such as NUL or COM1) holds nothing to lose and must not
//   be replaced by a file: it is written in place.
// - An existing target keeps its permissions, and must accept writing, exactly as when it
//   is written in place.
// - Standard output, for a front end that offers it, is written as it is; a reader that
//   has gone ends the program at once (interrupt_cleanup.h, end_if_reader_gone).
// The temporary file is <target>.rqpart-XXXXXXXX; while it exists an interrupt removes it
// (interrupt_cleanup.h, when the front end installed it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/file_transfer.h"
#include "local/local_failure.h"

namespace rq {

// Abandons itself when it goes out of scope uncommitted, so no failure path leaves a
// temporary file behind.
struct DownloadTarget {
  DownloadTarget() = default;
  DownloadTarget(const DownloadTarget&) = delete;
  DownloadTarget& operator=(const DownloadTarget&) = delete;
  ~DownloadTarget();

  int fd = -1;             // the temporary file (or an in-place target), open for writing
  bool to_stdout = false;  // writes go to standard output instead
  std::string target;      // the file to replace: the name given, or a link's destination
  std::string temporary;   // beside target, so that the final rename stays in one directory;
                           // empty when the target is written in place
  bool existed = false;    // target existed when the download began
  int write_error = 0;     // errno of the first failed write; 0 while all is well
};

// Readies name (local spelling, platform.h) for a download. Fails, leaving nothing behind,
// with kDirectory (EISDIR), kOpen (a target written in place cannot be opened), kNotWritable
// (an existing file refuses writing) or kCreate (no temporary file could be made: the
// directory is missing or not writable, or the name is too long).
LocalFailure open_download_target(DownloadTarget& t, const std::string& name);

// Readies standard output, in binary mode, for a download.
void open_download_to_stdout(DownloadTarget& t);

// Appends bytes with one unbuffered write. After a failed write later ones are skipped; the
// failure is reported by commit_download_target, so the caller can keep reading the
// transfer to its end.
void write_download_target(DownloadTarget& t, const uint8_t* data, size_t length);

// Closes the temporary file and moves it over the target. Fails with kWrite (a write, the
// close or standard output's flush failed) or kReplace; the temporary file is then removed
// and the target keeps its old content (or stays absent).
LocalFailure commit_download_target(DownloadTarget& t);

// Closes and removes the temporary file; the target is left as it was.
void abandon_download_target(DownloadTarget& t);

// A sink for a device download that writes into t; it fails once a write has failed.
DataSink download_target_sink(DownloadTarget& t);

}  // namespace rq
