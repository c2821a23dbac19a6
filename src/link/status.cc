#include "link/status.h"

#include <cstdint>

namespace rq {

const char* status_text(int code) {
  switch (static_cast<int8_t>(code)) {
    case kStatusOk: return "shell command succeeded";
    case kStatusUsbBus: return "usb bus error";
    case kStatusFsError: return "unknown file system error";
    case kStatusAccess: return "access failed";
    case kStatusCorrupted: return "file corrupted";
    case kStatusInvalidParameter: return "invalid parameter";
    case kStatusNotReady: return "file system not ready yet";
    case kStatusExists: return "file already exists";
    case kStatusNoInodes: return "ran out of inodes";
    case kStatusMissing: return "file does not exist";
    case kStatusInvalidPath: return "invalid path";
    case kStatusPathTooLong: return "file path is too long";
    case kStatusCommandFailed: return "command failed";
    default: return "invalid error code";
  }
}

}  // namespace rq
