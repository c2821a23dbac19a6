// Cuts a byte stream into frames without any I/O of its own, so it can be fed from a socket,
// a test or a fuzzer. It holds at most one frame of kMaxPayload bytes plus its header; bytes
// that arrive behind the current frame stay in the buffer for the next one. A frame that
// announces more than kMaxPayload is dropped byte by byte as it arrives and then reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/protocol.h"

namespace rq {

struct FrameReader {
  uint8_t buffer[kStageSize];
  size_t have = 0;           // bytes held in buffer
  size_t consumed = 0;       // size of the frame last handed out, dropped on the next call
  size_t oversize_left = 0;  // payload bytes of an oversize frame still to drop
  size_t oversize_length = 0;
};

enum FrameNext {
  kFrameNeedMore = 0,
  kFrameReady = 1,
  kFrameOversize = -2,  // a frame longer than kMaxPayload was skipped whole
};

// Where the next received bytes go and how many fit; never zero.
uint8_t* frame_reader_space(FrameReader& r, size_t* room);
void frame_reader_commit(FrameReader& r, size_t n);

// Hands out the next whole frame (payload valid until the next call), asks for more bytes,
// or reports an oversize frame that has now been skipped (its length in oversize_length).
FrameNext frame_reader_next(FrameReader& r, const uint8_t** payload, size_t* length);

// Bytes held beyond what has been handed out: a frame or part of one not yet asked for.
size_t frame_reader_pending(const FrameReader& r);

// The whole frame (header first) that frame_reader_next handed out last, valid as long as its
// payload is; lets a peer check the markers, which the length-first reader does not look at.
const uint8_t* frame_reader_frame(const FrameReader& r);

// Forgets everything held, for a reader that starts on a new connection.
void frame_reader_reset(FrameReader& r);

}  // namespace rq
