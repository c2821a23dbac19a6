// Feeds an arbitrary byte stream to the frame reader in reads of varying sizes (a sequence
// the input's first byte picks: byte by byte up to the whole stage at once) and checks every frame
// and skipped frame against a plain walk over the whole stream: same frames, same bytes, same
// order, each inside the stage, with its own header in front of it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "link/frame_reader.h"

namespace {

struct Expected {
  size_t offset;  // of the payload in the stream
  size_t length;
  bool oversize;
};

// What a reader must report for the stream: whole frames and whole oversize frames, in order.
std::vector<Expected> walk(const uint8_t* s, size_t size) {
  std::vector<Expected> out;
  size_t pos = 0;
  while (size - pos >= rq::kFrameHeaderSize) {
    size_t length = rq::frame_payload_length(s + pos);
    if (size - pos - rq::kFrameHeaderSize < length) break;
    out.push_back({pos + rq::kFrameHeaderSize, length, length > rq::kMaxPayload});
    pos += rq::kFrameHeaderSize + length;
  }
  return out;
}

constexpr size_t kSteps[] = {1,
                             2,
                             3,
                             5,
                             8,
                             12,
                             64,
                             4096,
                             rq::kMaxPayload,
                             rq::kStageSize - 1,
                             rq::kStageSize,
                             rq::kStageSize + 1,
                             3 * rq::kStageSize + 7,
                             rq::kReceiveStageSize};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint32_t pick = data[0];
  // With the first byte's top bit, the input repeats to well over the stage, so frames
  // straddle its end and the held part moves to the front.
  std::vector<uint8_t> repeated;
  if ((pick & 0x80) && size > 1)
    while (repeated.size() < 2 * rq::kReceiveStageSize)
      repeated.insert(repeated.end(), data + 1, data + size);
  const uint8_t* stream = repeated.empty() ? data + 1 : repeated.data();
  size_t stream_size = repeated.empty() ? size - 1 : repeated.size();
  std::vector<Expected> expected = walk(stream, stream_size);
  size_t seen = 0;

  auto r = std::make_unique<rq::FrameReader>();
  size_t pos = 0;
  for (;;) {
    const uint8_t* payload;
    size_t length;
    rq::FrameNext next = rq::frame_reader_next(*r, &payload, &length);
    if (next == rq::kFrameReady) {
      if (seen >= expected.size() || expected[seen].oversize) abort();
      const Expected& e = expected[seen++];
      if (length != e.length || payload < r->buffer ||
          payload + length > r->buffer + sizeof r->buffer ||
          rq::frame_reader_frame(*r) + rq::kFrameHeaderSize != payload ||
          memcmp(payload - rq::kFrameHeaderSize, stream + e.offset - rq::kFrameHeaderSize,
                 rq::kFrameHeaderSize + length) != 0)
        abort();
      continue;
    }
    if (next == rq::kFrameOversize) {
      if (seen >= expected.size() || !expected[seen].oversize ||
          r->oversize_length != expected[seen].length)
        abort();
      ++seen;
      continue;
    }
    if (pos >= stream_size) break;
    size_t room;
    uint8_t* space = rq::frame_reader_space(*r, &room);
    if (room == 0) abort();  // once it asks for more, there is always room
    // The read size changes from read to read, in a sequence the first byte picks.
    pick = pick * 1103515245u + 12345u;
    size_t n = kSteps[(pick >> 16) % (sizeof kSteps / sizeof kSteps[0])];
    if (n > room) n = room;
    if (n > stream_size - pos) n = stream_size - pos;
    memcpy(space, stream + pos, n);
    rq::frame_reader_commit(*r, n);
    pos += n;
  }
  if (seen != expected.size()) abort();  // a whole frame was never handed out
  return 0;
}
