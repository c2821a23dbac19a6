// How a local file failed, as a value: what went wrong and the platform's error number.
// The local layer prints nothing; each front end words a failure its own way.
#pragma once

#include <cstdint>

namespace rq {

enum class LocalFailed : uint8_t {
  kNothing,
  kOpen,         // the file could not be opened (to read, or a target written in place)
  kNotRegular,   // a file to send is a directory, a device or a pipe
  kSize,         // the size could not be taken (error; EISDIR or ENOTSUP: it has none)
  kTooLarge,     // larger than a transfer can announce (size)
  kNoMemory,     // too large to hold in memory (size)
  kRead,         // a read failed (error), or ended before the size (error 0; done of size)
  kDirectory,    // a download's target is a directory
  kNotWritable,  // an existing target refuses writing
  kCreate,       // the temporary file beside the target could not be made
  kWrite,        // a write failed, or closing showed that one had
  kReplace,      // the finished file could not be moved over its target
};

struct LocalFailure {
  LocalFailed failed = LocalFailed::kNothing;
  int error = 0;  // the platform's error number; 0 where no call failed
  int64_t size = 0;
  int64_t done = 0;
  bool ok() const { return failed == LocalFailed::kNothing; }
};

}  // namespace rq
