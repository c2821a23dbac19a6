// put, get, rb and wb: a file or a boot image each way. Data comes from a source and goes
// to a sink, so the same exchange serves a file loaded in memory, a file streamed from disk
// through a fixed buffer, or standard output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/device.h"

namespace rq {

// Yields exactly length bytes per call, or fewer (or a negative number) when it cannot.
// A source that holds its bytes in memory also offers them in place (view: the next length
// bytes, or nullptr when it has fewer), so they are sent without a copy.
struct DataSource {
  void* context = nullptr;
  long (*read)(void* context, uint8_t* buffer, size_t length) = nullptr;
  const uint8_t* (*view)(void* context, size_t length) = nullptr;
};

// Takes the bytes, straight from where the link received them; 0, or negative once it
// cannot. The download is read to its end either way, so the link stays in step; the
// failure shows in sink_failed.
struct DataSink {
  void* context = nullptr;
  int (*write)(void* context, const uint8_t* data, size_t length) = nullptr;
};

struct TransferResult {
  Result result;
  int64_t size = 0;   // announced: by the caller (put, wb) or by the device (get, rb)
  int64_t moved = 0;  // data bytes that went through
  bool sink_failed = false;
};

// A device name goes with its zero; one that does not fit a frame fails at kCommand with
// kStatusPathTooLong before anything is sent. Events: kDataBegin once the data phase starts,
// kProgress after every chunk, kEmptyFrame (downloads) for a data frame without bytes.

// Sends size bytes from source as device_name. Steps: kCommand, kPayload, kData (a grant
// or the final status was not 0, or a chunk could not be sent), kSource (the source gave
// less than announced: the device then waits for data that will not come, so the caller
// must close the link).
TransferResult put_file(Device& d, const char* device_name, int32_t size, DataSource& source,
                        const DeviceEvents* events);

// Fetches device_name into sink. Steps: kCommand, kPayload, kStatus, kData (a data frame
// did not arrive: the link has failed).
TransferResult get_file(Device& d, const char* device_name, DataSink& sink,
                        const DeviceEvents* events);

// Boot images 1 to 3 (the number travels in the sub-code).
// Read steps: kCommand, kStatus, kData (a frame did not arrive), kNextStatus.
TransferResult read_boot_image(Device& d, int boot, DataSink& sink, const DeviceEvents* events);
// Write steps: kCommand, kReduction (a bad status, or a reduction that leaves no first
// chunk a frame could carry: kStatusInvalidParameter), kData (a chunk's ready refused),
// kSource. No status follows the data, so success means only that every chunk went out.
TransferResult write_boot_image(Device& d, int boot, int32_t size, DataSource& source,
                                const DeviceEvents* events);

}  // namespace rq
