#include "link/link.h"

#include <cstring>

namespace rq {

int connect_to_proxy(Connection& c, const char* server, int port) {
  int rc = socket_startup();
  if (rc != 0) {
    fprintf(c.console_out, "WSAStartup() failed: %d\n", rc);
    return kLinkFailed;
  }
  SocketHandle s = socket_open_tcp();
  if (s == kNoSocket) {
    fprintf(c.console_out, "ERROR: Cannot open AF_INET socket\n");
    return kLinkFailed;
  }
  if (socket_connect_ipv4(s, server, port) != 0) {
    socket_close(s);
    fprintf(c.console_out, "Cannot connect to DX proxy program\n");
    return kLinkRefused;
  }
  // Frames are small and strictly alternate with the proxy's answers; without this, a
  // frame sent right after another waits for the delayed acknowledgement.
  socket_set_nodelay(s);
  c.socket = s;
  c.peer_closed = false;
  return 0;
}

static void report_closed(Connection& c) {
  erase_progress_line(c);
  fprintf(c.console_out, "ERROR: DX proxy program closed the connection\n");
}

int send_frame(Connection& c, const uint8_t* payload, size_t length) {
  if (length > kMaxPayload) length = kMaxPayload;  // callers never ask for more
  if (c.peer_closed) {
    report_closed(c);
    return kLinkFailed;
  }
  put_frame_header(c.send_stage, length);
  if (length) std::memcpy(c.send_stage + kFrameHeaderSize, payload, length);
  size_t total = length + kFrameHeaderSize;
  size_t sent = 0;
  while (sent < total) {
    long n = socket_send(c.socket, c.send_stage + sent, total - sent);
    if (n < 0) {
      int error = socket_last_error();
      if (socket_error_is_interrupt(error)) continue;
      erase_progress_line(c);
      fprintf(c.console_out, "ERROR: socket send failed errno=%d\n", error);
      return kLinkFailed;
    }
    sent += static_cast<size_t>(n);
  }
  return 0;
}

int receive_frame(Connection& c, uint8_t* dest, size_t capacity) {
  FrameReader& r = c.receive_stage;
  for (;;) {
    const uint8_t* payload;
    size_t length;
    FrameNext next = frame_reader_next(r, &payload, &length);
    if (next == kFrameReady) {
      if (length > capacity) {
        erase_progress_line(c);
        fprintf(c.console_out, "ERROR: DX proxy sent %zu bytes where at most %zu fit\n", length,
                capacity);
        return kLinkFailed;
      }
      if (length) std::memcpy(dest, payload, length);
      return static_cast<int>(length);
    }
    if (next == kFrameOversize) {
      erase_progress_line(c);
      fprintf(c.console_out, "ERROR: DX proxy sent a frame of %zu bytes (at most %zu allowed)\n",
              r.oversize_length, kMaxPayload);
      return kLinkFailed;
    }
    if (c.peer_closed) {
      report_closed(c);
      return kLinkFailed;
    }
    size_t room;
    uint8_t* space = frame_reader_space(r, &room);
    long n = socket_recv(c.socket, space, room);
    if (n < 0) {
      int error = socket_last_error();
      if (socket_error_is_interrupt(error)) continue;
      erase_progress_line(c);
      fprintf(c.console_out, "ERROR: socket recv failed errno=%d\n", error);
      return kLinkFailed;
    }
    if (n == 0) {
      c.peer_closed = true;
      report_closed(c);
      return kLinkFailed;
    }
    frame_reader_commit(r, static_cast<size_t>(n));
  }
}

int receive_message(Connection& c) {
  int n = receive_frame(c, c.message, kMessageBufferSize);
  if (n >= 0 && n < static_cast<int>(kMessageSize))
    std::memset(c.message + n, 0, kMessageSize - static_cast<size_t>(n));
  return n;
}

int wait_for_proxy(Connection& c, int timeout_ms) {
  if (frame_reader_pending(c.receive_stage)) return 1;
  return socket_wait_readable(c.socket, timeout_ms) == 1 ? 1 : 0;
}

void close_connection(Connection& c) {
  socket_close(c.socket);
  c.socket = kNoSocket;
}

}  // namespace rq
