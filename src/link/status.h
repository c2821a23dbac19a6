// The device's status codes, as the proxy reports them in status, ready and grant messages,
// with the text the shell prints for each. Codes travel in one byte and read as signed.
#pragma once

namespace rq {

enum DeviceStatus : int {
  kStatusOk = 0,
  kStatusUsbBus = 1,
  kStatusFsError = 2,  // "unknown file system error"
  kStatusAccess = 3,
  kStatusCorrupted = 4,
  kStatusInvalidParameter = 5,
  kStatusNotReady = 6,
  kStatusExists = 7,
  kStatusNoInodes = 8,
  kStatusMissing = 9,
  kStatusInvalidPath = 30,
  kStatusPathTooLong = 31,
  kStatusCommandFailed = 100,
};

// The text for a status code; the code is read as a signed 8-bit number, and codes outside
// the table read "invalid error code".
const char* status_text(int code);

}  // namespace rq
