// rb and wb: the three boot images (exchanges in doc/protocol.md). rb sends frames of
// kChunkSize bytes. As no status follows a wb's data, and boot 1 gets none at all, a failure
// there can only be told by refusing the ready before the next chunk.
#include "boot_exchanges.h"

#include <unistd.h>

#include "boot_store.h"
#include "device_status.h"
#include "transfer_exchanges.h"
#include "wire.h"

namespace rq::sim {

int play_rb(Session& s, uint8_t boot, int32_t) {
  int fd = -1;
  int64_t size = 0;
  int code = preempting_status(s);
  if (code == 0) code = -boot_open_read(s.options->boot_dir, boot, &fd, &size);
  if (code != 0) return send_status(s, code, 0);
  char what[32];
  snprintf(what, sizeof what, "boot image %d", boot);
  int rc = send_file_frames(s, fd, size, true, what);
  if (fd >= 0) close(fd);
  return rc;
}

int play_wb(Session& s, uint8_t boot, int32_t size) {
  int code = size < 0 ? kStatusInvalidParameter : 0;
  if (boot < kFirstBoot || boot > kLastBoot) {
    // No shell sends this; a status is the answer most likely to be read in step.
    return send_status(s, kStatusInvalidParameter, 0);
  }
  if (boot != 1) code = preempting_status(s, code);
  Upload up;
  if (code == 0) code = -boot_write_begin(s.options->boot_dir, boot, up);
  int32_t reduction = boot == 1 ? 0 : s.options->reduction;
  if (boot != 1) {
    int rc = send_status(s, code, code == 0 ? reduction : 0, "reduction");
    if (rc < 0 || code != 0) {
      fs_upload_abort(up);
      return rc < 0 ? rc : 0;
    }
  } else if (code != 0) {
    fs_upload_abort(up);
    return size > 0 ? send_refusal(s, code) : 0;
  }
  if (reduction < 0 || reduction >= static_cast<int32_t>(kChunkSize)) {
    // No first chunk of that length fits a frame: the shell gives the write up without
    // sending anything, and its next frame is the next command.
    fs_upload_abort(up);
    return 0;
  }

  int64_t received = 0;
  int write_status = 0;
  while (received < size) {
    // A failed write refuses the next chunk; after the last one it can only be logged. A
    // refusal goes out only once the image's temporary file is gone.
    if (write_status != 0 || next_gate_refused(s)) fs_upload_abort(up);
    int rc = write_status != 0 ? send_refusal(s, write_status) : send_ready(s);
    if (rc < 0) {
      fs_upload_abort(up);
      return rc;
    }
    const uint8_t* p = nullptr;
    int n = receive_frame(s, "chunk", kTraceData, kPeerTimeoutMs, &p);
    // Any length that makes progress and stays within the image is taken: the data is
    // written in order whatever the cut.
    if (n == 0 || n > size - received || n == kWireOversize)
      drop_link(s, "a boot image chunk of the wrong length");
    if (n <= 0 || n > size - received) {
      fs_upload_abort(up);
      return n < 0 && n != kWireOversize ? n : kWireClosed;
    }
    if (write_status == 0) write_status = -fs_upload_write(up, p, static_cast<size_t>(n));
    received += n;
    if ((rc = note_data_received(s, static_cast<size_t>(n))) < 0) {
      fs_upload_abort(up);
      return rc;
    }
  }
  if (write_status == 0) write_status = -fs_upload_commit(up);
  if (write_status != 0)
    fprintf(s.log, "rqsim: boot image %d not written (status %d)\n", boot, write_status);
  fs_upload_abort(up);
  return 0;
}

}  // namespace rq::sim
