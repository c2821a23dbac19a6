// The local file that get and rb write. Data goes to a fresh file beside the target and
// replaces the target only once the whole transfer has succeeded, so a refused command, a
// bad status, a lost connection or a full disk never destroys what the target held.
// A target that exists but is no regular file (a device such as /dev/null, a pipe) holds
// nothing to lose and must not be replaced by a file: it is written in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "device/file_transfer.h"
#include "shell/shell.h"

namespace rq {

// Abandons itself when it goes out of scope uncommitted, so no failure path leaves a
// temporary file behind.
struct DownloadTarget {
  DownloadTarget() = default;
  DownloadTarget(const DownloadTarget&) = delete;
  DownloadTarget& operator=(const DownloadTarget&) = delete;
  ~DownloadTarget();

  int fd = -1;            // the temporary file (or an in-place target), open for writing
  std::string name;       // the name the operator gave, for messages
  std::string target;     // the file to replace: name, or a symbolic link's destination
  std::string temporary;  // beside target, so that the final rename stays in one directory;
                          // empty when the target is written in place
  bool existed = false;   // target existed when the download began
  int write_error = 0;    // errno of the first failed write; 0 while all is well
};

// Creates the temporary file. When the target cannot be written (its directory is missing
// or not writable, it is a directory, or an existing file refuses writing) prints
// "Cannot open PC file %s\n" with name and returns -1; nothing is left behind then.
int open_download_target(Shell& c, const char* name, DownloadTarget& t);

// Appends bytes with one unbuffered write. After a failed write later ones are skipped; the
// failure is reported by commit_download_target, so the caller can keep reading the
// transfer to its end.
void write_download_target(DownloadTarget& t, const uint8_t* data, size_t length);

// Closes the temporary file and moves it over the target. When a write failed or the
// replacement fails, prints a line naming the target, removes the temporary file and
// returns -1; the target then keeps its old content (or stays absent).
int commit_download_target(Shell& c, DownloadTarget& t);

// Closes and removes the temporary file; the target is left as it was.
void abandon_download_target(DownloadTarget& t);

// A sink for a device download that writes into t.
DataSink download_target_sink(DownloadTarget& t);

}  // namespace rq
