// Everything one shell session owns: the proxy connection with its staging buffers, the
// message buffer, the ping counter and the console streams. Handlers get it by reference,
// so several sessions can run side by side in one process (as the tests do).
#pragma once

#include <cstdint>
#include <cstdio>

#include "link/frame_reader.h"
#include "link/protocol.h"
#include "link/socket.h"

namespace rq {

struct LineEditor;

// Room for the current 8-byte message and, behind it, one frame's payload.
constexpr size_t kMessageBufferSize = kMessageSize + kMaxPayload;

struct Connection {
  SocketHandle socket = kNoSocket;
  bool peer_closed = false;  // the proxy closed the connection; every later receive fails fast

  uint8_t send_stage[kStageSize];
  FrameReader receive_stage;
  uint8_t message[kMessageBufferSize];

  int32_t ping_counter = 0;

  FILE* console_in = stdin;
  FILE* console_out = stdout;
  FILE* script = nullptr;        // the command script being read, if any
  LineEditor* editor = nullptr;  // set when the console is a terminal with line editing
  FILE* progress_out = nullptr;  // transfer progress goes here when someone watches it
  bool progress_shown = false;   // a progress line is on the screen right now
  bool progress_blanks = false;  // the terminal knows no erase sequence: overwrite with blanks
  bool quit = false;
};

// Erases a transfer's progress line, so that console text printed in the middle of a
// transfer (a lost connection, a failure report) starts at the beginning of a clean line.
constexpr int kProgressBlankWidth = 78;  // wider than any progress line, within 80 columns

inline void erase_progress_line(Connection& c) {
  if (!c.progress_shown) return;
  if (c.progress_blanks)
    fprintf(c.progress_out, "\r%*s\r", kProgressBlankWidth, "");
  else
    fputs("\r\033[K", c.progress_out);
  fflush(c.progress_out);
  c.progress_shown = false;
}

// The area behind the 8-byte message, where command payloads and replies go.
inline uint8_t* payload_area(Connection& c) { return c.message + kMessageSize; }

}  // namespace rq
