// Feeds a byte stream to the frame reader in reads whose sizes the input picks, and checks
// every frame and skipped frame against a plain walk over the whole stream: same frames, same
// bytes, same order, each inside the stage with its own header in front of it, and exactly the
// bytes behind it still held.
//
// The input is a short header, then the stream's body:
//   byte 0       bits 0-3: how many read sizes follow (none: every read takes all the room);
//                bits 4-5: how many times the body is sent (1 to 4);
//                bit 6:    a lead-in of frames goes before the body (three bytes below).
//   read sizes   one byte each, used in turn over the body: below 0x80 that many bytes plus
//                one (1 to 128), else one of kSteps (byte by byte up to the whole stage).
//   lead-in      how many largest frames (0 to kStageFrames), then the length of one more
//                frame (big-endian, any: over kMaxPayload it is an oversize frame the reader
//                must skip in step). It brings the body to where the input wants it, up to
//                past the stage's end, so that a frame straddles the end and the held part
//                moves to the front, and it skips long oversize frames, without every input
//                having to be long.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/frame_reader.h"

namespace {

struct Expected {
  size_t offset;  // of the payload in the stream
  size_t length;
  bool oversize;
};

// What a reader must report for the stream: whole frames and whole oversize frames, in order.
void walk(const uint8_t* s, size_t size, std::vector<Expected>& out) {
  out.clear();
  size_t pos = 0;
  while (size - pos >= rq::kFrameHeaderSize) {
    size_t length = rq::frame_payload_length(s + pos);
    if (size - pos - rq::kFrameHeaderSize < length) break;
    out.push_back({pos + rq::kFrameHeaderSize, length, length > rq::kMaxPayload});
    pos += rq::kFrameHeaderSize + length;
  }
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
constexpr size_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// Reads sized by the input; any further ones take all the room. A long body walked byte by
// byte would cost as much as thousands of short inputs and find nothing they do not.
constexpr size_t kPatternReads = 1024;

// Reads the header off the front of the input; missing bytes read as zero.
struct Input {
  const uint8_t* data;
  size_t size;
  uint8_t take() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
};

void append_frame(std::vector<uint8_t>& stream, size_t payload_length) {
  size_t at = stream.size();
  stream.resize(at + rq::kFrameHeaderSize + payload_length, 0);
  rq::put_frame_header(stream.data() + at, payload_length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const uint8_t shape = in.take();
  size_t steps[15];
  const size_t step_count = shape & 0x0f;
  for (size_t i = 0; i < step_count; ++i) {
    uint8_t b = in.take();
    steps[i] = b < 0x80 ? b + 1u : kSteps[b % kStepCount];
  }
  const int sends = 1 + ((shape >> 4) & 3);
  // Kept from input to input too, so that a long stream costs no fresh pages each time.
  static std::vector<uint8_t>& stream = *new std::vector<uint8_t>;
  stream.clear();
  if (shape & 0x40) {
    size_t whole = in.take() % (rq::kStageFrames + 1);
    size_t last = in.take();
    last = last << 8 | in.take();
    for (size_t i = 0; i < whole; ++i) append_frame(stream, rq::kMaxPayload);
    append_frame(stream, last);
  }
  const size_t body_start = stream.size();
  for (int i = 0; i < sends; ++i) stream.insert(stream.end(), in.data, in.data + in.size);

  static std::vector<Expected>& expected = *new std::vector<Expected>;
  walk(stream.data(), stream.size(), expected);
  size_t seen = 0;
  // One reader for every input, as a connection keeps its own: allocating and clearing its
  // stage for each input would cost more than reading most inputs.
  static rq::FrameReader* const r = new rq::FrameReader;
  rq::frame_reader_reset(*r);
  size_t pos = 0;    // bytes fed so far
  size_t reads = 0;  // reads made so far, to pick the next size
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
          memcmp(payload - rq::kFrameHeaderSize, stream.data() + e.offset - rq::kFrameHeaderSize,
                 rq::kFrameHeaderSize + length) != 0)
        abort();
      // Whatever arrived behind the frame is still held, byte for byte counted.
      if (rq::frame_reader_pending(*r) != pos - (e.offset + e.length)) abort();
      continue;
    }
    if (next == rq::kFrameOversize) {
      if (seen >= expected.size() || !expected[seen].oversize ||
          r->oversize_length != expected[seen].length)
        abort();
      const Expected& e = expected[seen++];
      // Skipped in step: the next frame's bytes are held, none of the skipped one's.
      if (rq::frame_reader_pending(*r) != pos - (e.offset + e.length)) abort();
      continue;
    }
    if (pos >= stream.size()) break;
    size_t room;
    uint8_t* space = rq::frame_reader_space(*r, &room);
    if (room == 0) abort();  // once it asks for more, there is always room
    // The lead-in goes in reads that take all the room, all but its last byte: that comes
    // with the body's reads, so the reader still holds part of a frame when the body begins
    // where the lead-in put it, instead of starting again at the front of the stage.
    size_t n = room;
    if (pos + 1 < body_start)
      n = body_start - 1 - pos;
    else if (step_count && reads < kPatternReads)
      n = steps[reads++ % step_count];
    if (n > room) n = room;
    if (n > stream.size() - pos) n = stream.size() - pos;
    memcpy(space, stream.data() + pos, n);
    rq::frame_reader_commit(*r, n);
    pos += n;
  }
  if (seen != expected.size()) abort();  // a whole frame was never handed out
  return 0;
}
