// Status codes the simulated device answers, from the shell's status-text table. Device
// functions return 0 or a length on success and the negated status code on failure.
#pragma once

namespace rq::sim {

enum DeviceStatus : int {
  kStatusOk = 0,
  kStatusFsError = 2,           // "unknown file system error": any other host failure
  kStatusAccess = 3,            // "access failed": host refusal, symlink, non-empty directory
  kStatusInvalidParameter = 5,  // "invalid parameter": wrong frame layout or argument
  kStatusExists = 7,            // "file already exists"
  kStatusMissing = 9,           // "file does not exist"
  kStatusInvalidPath = 30,      // "invalid path"
  kStatusPathTooLong = 31,      // "file path is too long"
};

// The device status for a failed host call's errno.
int status_for_errno(int error);

}  // namespace rq::sim
