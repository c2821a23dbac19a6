#include "link/frame_reader.h"

#include <cstring>

namespace rq {

uint8_t* frame_reader_space(FrameReader& r, size_t* room) {
  if (r.start == r.end) {
    r.start = r.end = 0;
  } else if (sizeof r.buffer - r.end < kStageSize) {
    // Less than a whole frame fits behind what is held: move the part not handed out yet
    // (less than one frame, once the reader asked for more) to the front.
    std::memmove(r.buffer, r.buffer + r.start, r.end - r.start);
    r.end -= r.start;
    r.start = 0;
  }
  *room = sizeof r.buffer - r.end;
  return r.buffer + r.end;
}

void frame_reader_commit(FrameReader& r, size_t n) {
  if (n > sizeof r.buffer - r.end) n = sizeof r.buffer - r.end;
  r.end += n;
}

FrameNext frame_reader_next(FrameReader& r, const uint8_t** payload, size_t* length) {
  for (;;) {
    size_t held = r.end - r.start;
    if (r.oversize_left) {
      size_t n = held < r.oversize_left ? held : r.oversize_left;
      r.start += n;
      r.oversize_left -= n;
      return r.oversize_left ? kFrameNeedMore : kFrameOversize;
    }
    if (held < kFrameHeaderSize) return kFrameNeedMore;
    const uint8_t* header = r.buffer + r.start;
    size_t announced = frame_payload_length(header);
    if (announced > kMaxPayload) {
      r.start += kFrameHeaderSize;
      r.oversize_left = announced;
      r.oversize_length = announced;
      continue;
    }
    if (held < kFrameHeaderSize + announced) return kFrameNeedMore;
    r.frame = r.start;
    r.start += kFrameHeaderSize + announced;
    *payload = header + kFrameHeaderSize;
    *length = announced;
    return kFrameReady;
  }
}

size_t frame_reader_pending(const FrameReader& r) { return r.end - r.start; }

const uint8_t* frame_reader_frame(const FrameReader& r) { return r.buffer + r.frame; }

void frame_reader_reset(FrameReader& r) {
  r.start = 0;
  r.end = 0;
  r.frame = 0;
  r.oversize_left = 0;
  r.oversize_length = 0;
}

}  // namespace rq
