// Cuts a byte stream into frames without any I/O of its own, so it can be fed from a socket,
// a test or a fuzzer. Its stage holds several whole frames, so one receive can take in all
// that the peer has sent; bytes that arrive behind the frame handed out stay for the next
// call, in order. A frame that announces more than kMaxPayload is dropped byte by byte as it
// arrives and then reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/protocol.h"

namespace rq {

// Room for kStageFrames largest frames: a receive on a busy connection takes many at once.
constexpr size_t kStageFrames = 8;
constexpr size_t kReceiveStageSize = kStageFrames * kStageSize;

struct FrameReader {
  uint8_t buffer[kReceiveStageSize];
  size_t start = 0;          // first byte not handed out yet
  size_t end = 0;            // one past the last byte held
  size_t frame = 0;          // where the frame handed out last begins
  size_t oversize_left = 0;  // payload bytes of an oversize frame still to drop
  size_t oversize_length = 0;
};

enum FrameNext {
  kFrameNeedMore = 0,
  kFrameReady = 1,
  kFrameOversize = -2,  // a frame longer than kMaxPayload was skipped whole
};

// Where the next received bytes go and how many fit. Once frame_reader_next has asked for
// more, room is never zero. Frames handed out earlier may move or be overwritten from here on.
uint8_t* frame_reader_space(FrameReader& r, size_t* room);
// Takes n received bytes (at most the room given; any excess is ignored).
void frame_reader_commit(FrameReader& r, size_t n);

// Hands out the next whole frame (payload valid until the next frame_reader_space or reset),
// asks for more bytes, or reports an oversize frame that has now been skipped (its length in
// oversize_length).
FrameNext frame_reader_next(FrameReader& r, const uint8_t** payload, size_t* length);

// Bytes held beyond what has been handed out: frames or part of one not yet asked for.
size_t frame_reader_pending(const FrameReader& r);

// The whole frame (header first) that frame_reader_next handed out last, valid as long as its
// payload is; lets a peer check the markers, which the length-first reader does not look at.
const uint8_t* frame_reader_frame(const FrameReader& r);

// Forgets everything held, for a reader that starts on a new connection.
void frame_reader_reset(FrameReader& r);

}  // namespace rq
