#include "link/frame_reader.h"

#include <cstring>

namespace rq {

static void drop_front(FrameReader& r, size_t n) {
  std::memmove(r.buffer, r.buffer + n, r.have - n);
  r.have -= n;
}

uint8_t* frame_reader_space(FrameReader& r, size_t* room) {
  if (r.consumed) {
    drop_front(r, r.consumed);
    r.consumed = 0;
  }
  *room = sizeof r.buffer - r.have;
  return r.buffer + r.have;
}

void frame_reader_commit(FrameReader& r, size_t n) {
  if (n > sizeof r.buffer - r.have) n = sizeof r.buffer - r.have;
  r.have += n;
}

FrameNext frame_reader_next(FrameReader& r, const uint8_t** payload, size_t* length) {
  if (r.consumed) {
    drop_front(r, r.consumed);
    r.consumed = 0;
  }
  if (r.oversize_left) {
    size_t n = r.have < r.oversize_left ? r.have : r.oversize_left;
    drop_front(r, n);
    r.oversize_left -= n;
    if (r.oversize_left) return kFrameNeedMore;
    return kFrameOversize;
  }
  if (r.have < kFrameHeaderSize) return kFrameNeedMore;
  size_t announced = frame_payload_length(r.buffer);
  if (announced > kMaxPayload) {
    drop_front(r, kFrameHeaderSize);
    r.oversize_left = announced;
    r.oversize_length = announced;
    return frame_reader_next(r, payload, length);
  }
  if (r.have < kFrameHeaderSize + announced) return kFrameNeedMore;
  *payload = r.buffer + kFrameHeaderSize;
  *length = announced;
  r.consumed = kFrameHeaderSize + announced;
  return kFrameReady;
}

size_t frame_reader_pending(const FrameReader& r) { return r.have - r.consumed; }

const uint8_t* frame_reader_frame(const FrameReader& r) { return r.buffer; }

void frame_reader_reset(FrameReader& r) {
  r.have = 0;
  r.consumed = 0;
  r.oversize_left = 0;
  r.oversize_length = 0;
}

}  // namespace rq
