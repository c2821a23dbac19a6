// put and get (exchanges in doc/protocol.md): whole files between the shell and the device,
// streamed in chunks of at most kChunkSize bytes through the session's fixed buffer,
// whatever size is announced. Anything that goes wrong with a put before the data is
// answered in place of the first grant (or of the final status for an empty file): the
// shell stops on any non-zero grant. A chunk of the wrong length means the shell and rqsim
// no longer agree on the stream, so the link is dropped.
#include "transfer_exchanges.h"

#include <unistd.h>

#include <cstring>

#include "device_status.h"
#include "file_exchanges.h"
#include "wire.h"

namespace rq::sim {

constexpr auto kPutHeaderSize = static_cast<int32_t>(kPutSizeFieldLength);

// Checks the put payload; copies the name to s.text and returns 0, or a status code.
static int parse_put_payload(Session& s, const uint8_t* p, int n, int32_t announced,
                             int32_t* size) {
  if (n != announced || n < kPutHeaderSize + 2 || p[n - 1] != 0) return kStatusInvalidParameter;
  size_t name_length = static_cast<size_t>(n - kPutHeaderSize - 1);
  if (std::memchr(p + kPutHeaderSize, 0, name_length)) return kStatusInvalidPath;
  *size = get_le32(p);
  if (*size < 0) return kStatusInvalidParameter;
  std::memcpy(s.text, p + kPutHeaderSize, name_length + 1);
  return 0;
}

int play_put(Session& s, uint8_t, int32_t announced) {
  if (announced < kPutHeaderSize + 2 || announced > static_cast<int32_t>(kMaxPayload))
    return send_refusal(s, kStatusInvalidParameter);
  int rc = send_ready(s);
  if (rc < 0) return rc;
  const uint8_t* p = nullptr;
  int n = receive_frame(s, "put", kTraceData, kPeerTimeoutMs, &p);
  if (n < 0 && n != kWireOversize) return n;
  int32_t size = 0;
  int code = n < 0 ? kStatusInvalidParameter : parse_put_payload(s, p, n, announced, &size);
  // A forced status still takes the data, then answers with the forced code.
  int forced = code == 0 ? preempting_status(s) : 0;
  Upload up;
  UploadMode mode = s.options->put_in_place ? UploadMode::kInPlace : UploadMode::kAtomic;
  if (code == 0 && forced == 0) code = -fs_upload_begin(s.fs, s.text, up, mode);
  if (code != 0) return send_status(s, code, 0, size > 0 ? "grant" : "status");

  // The grant for the next pair goes out as soon as the current pair has arrived, and the
  // pair is written after it, so the shell sends while rqsim writes. A failed write is
  // therefore reported at the grant after next, or in the final status.
  int64_t received = 0;
  int write_status = 0;
  const uint8_t* pair[2] = {nullptr, nullptr};  // chunks arrived whole, not yet written
  int lengths[2] = {0, 0};
  auto write_pair = [&] {
    for (int i = 0; i < 2 && pair[i]; ++i)
      if (forced == 0 && write_status == 0)
        write_status = -fs_upload_write(up, pair[i], static_cast<size_t>(lengths[i]));
    pair[0] = pair[1] = nullptr;
  };
  auto abort_with = [&](int result) {
    // Written in place, the file keeps every chunk that arrived whole, as a device writing
    // as it receives would.
    if (up.in_place) write_pair();
    fs_upload_abort(up);
    return result;
  };
  // The grant for the next pair, or the failed write's status in its place. An answer that
  // ends the upload goes out only once the upload is settled: whoever has heard it finds no
  // temporary file left.
  auto answer_gate = [&] {
    int failed = write_status;
    if (failed != 0 || next_gate_refused(s)) abort_with(0);
    return failed != 0 ? send_status(s, failed, 0, "grant") : send_grant(s);
  };
  if (size > 0 && (rc = answer_gate()) < 0) return abort_with(rc);
  while (received < size) {
    for (int i = 0; i < 2 && received < size; ++i) {
      n = receive_frame(s, "chunk", kTraceData, kPeerTimeoutMs, &p);
      int64_t expected = size - received < static_cast<int64_t>(kChunkSize)
                             ? size - received
                             : static_cast<int64_t>(kChunkSize);
      if (n >= 0 && n != expected) drop_link(s, "an upload chunk of the wrong length");
      if (n < 0 || n != expected) return abort_with(n < 0 ? n : kWireClosed);
      received += n;
      // The next receive may reuse the bytes of this chunk; the second stays where it is.
      if (i == 0 && received < size) {
        std::memcpy(s.data, p, static_cast<size_t>(n));
        p = s.data;
      }
      pair[i] = p;
      lengths[i] = n;
      if ((rc = note_data_received(s, static_cast<size_t>(n))) < 0) return abort_with(rc);
    }
    if (received < size) {
      // A failed write stops the shell at this grant instead of taking more data.
      rc = answer_gate();
      if (rc < 0 || write_status != 0) return abort_with(rc < 0 ? rc : 0);
    }
    write_pair();
  }
  code = forced != 0 ? forced : write_status;
  if (code == 0) code = -fs_upload_commit(up);
  fs_upload_abort(up);  // nothing left to remove after a commit
  return send_status(s, code, size);
}

int play_get(Session& s, uint8_t, int32_t announced) {
  int code = 0;
  int rc = receive_names(s, announced, 1, &code);
  if (rc < 0) return rc;
  int fd = -1;
  int64_t size = 0;
  if (code == 0) {
    fd = fs_open_read(s.fs, s.text, &size);
    if (fd < 0) code = -fd;
  }
  if (code != 0) return send_status(s, code, 0);
  rc = send_file_frames(s, fd, size, false, s.text);
  close(fd);
  return rc;
}

int send_file_frames(Session& s, int fd, int64_t size, bool status_between, const char* what) {
  int rc = send_status(s, 0, static_cast<int32_t>(size));
  for (int64_t sent = 0; rc == 0 && sent < size;) {
    size_t want = size - sent < static_cast<int64_t>(kChunkSize) ? static_cast<size_t>(size - sent)
                                                                 : kChunkSize;
    int got = fs_read_full(fd, s.data, want);
    if (got != static_cast<int>(want)) {
      // The size has gone out; the shell cannot be told of a short file in step.
      fprintf(s.log, "rqsim: %s shrank while being read\n", what);
      drop_link(s, "a file could not be read whole");
      return kWireClosed;
    }
    apply_corruption(s.faults, sent, s.data, want);
    rc = send_data(s, "data", kTraceData, s.data, want);
    sent += got;
    if (status_between && rc == 0 && sent < size)
      rc = send_status(s, 0, static_cast<int32_t>(sent), "next");
  }
  return rc;
}

}  // namespace rq::sim
