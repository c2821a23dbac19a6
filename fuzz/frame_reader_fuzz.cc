// Feeds an arbitrary byte stream to the frame reader in pieces whose sizes come from the
// input itself, and checks that every frame handed out lies inside the buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/frame_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t step = data[0] % 64 + 1;
  auto r = std::make_unique<rq::FrameReader>();
  size_t pos = 1;
  for (;;) {
    const uint8_t* payload;
    size_t length;
    rq::FrameNext next = rq::frame_reader_next(*r, &payload, &length);
    if (next == rq::kFrameReady) {
      if (length > rq::kMaxPayload || payload < r->buffer ||
          payload + length > r->buffer + sizeof r->buffer)
        abort();
      continue;
    }
    if (next == rq::kFrameOversize) continue;
    if (pos >= size) break;
    size_t room;
    uint8_t* space = rq::frame_reader_space(*r, &room);
    if (room == 0) abort();  // a full buffer always holds a whole frame
    size_t n = step < room ? step : room;
    if (n > size - pos) n = size - pos;
    memcpy(space, data + pos, n);
    rq::frame_reader_commit(*r, n);
    pos += n;
  }
  return 0;
}
