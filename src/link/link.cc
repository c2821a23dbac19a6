#include "link/link.h"

#include <chrono>
#include <cstring>

#include "link/trace.h"

namespace rq {

namespace {

// Frames up to this long that hold only text (and zeros) are traced as text.
constexpr size_t kTraceTextLimit = 1024;

int report(Link& l, LinkEventKind kind, int result, int error = 0, size_t length = 0,
           size_t capacity = 0) {
  LinkEvent e;
  e.kind = kind;
  e.error = error;
  e.length = length;
  e.capacity = capacity;
  if (!l.failed) l.failure = e;
  l.failed = true;
  if (l.report) l.report(l.report_context, e);
  return result;
}

int report_closed(Link& l) { return report(l, LinkEventKind::kClosed, kLinkClosed); }

void print_time_of_day(FILE* out) {
  using namespace std::chrono;
  int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  int64_t of_day = ms % 86400000;
  fprintf(out, "%02d:%02d:%02d.%03d ", static_cast<int>(of_day / 3600000),
          static_cast<int>(of_day / 60000 % 60), static_cast<int>(of_day / 1000 % 60),
          static_cast<int>(of_day % 1000));
}

// what: the frame's part in the exchange, when the caller knows it; nullptr: told from the
// frame itself.
void trace(Link& l, bool sent, const uint8_t* payload, size_t length, const char* what = nullptr,
           TraceKind kind = kTraceData) {
  if (!l.trace) return;
  if (l.trace_clock) print_time_of_day(l.trace);
  if (what) {
    trace_frame(l.trace, l.trace_name, sent, what, kind, payload, length);
    return;
  }
  // Both ways an 8-byte frame is a message: commands go out, readies and statuses come in.
  // Other frames are paths and names going out, texts and data coming in.
  if (length == kMessageSize) {
    trace_frame(l.trace, l.trace_name, sent, sent ? "command" : "status",
                sent ? kTraceCommand : kTraceMessage, payload, length);
    return;
  }
  bool text = length > 0 && length <= kTraceTextLimit;
  for (size_t i = 0; text && i < length; ++i)
    text = payload[i] == 0 || (payload[i] >= 0x20 && payload[i] != 0x7f);
  trace_frame(l.trace, l.trace_name, sent, text ? (sent ? "payload" : "reply") : "data",
              text ? kTraceText : kTraceData, payload, length);
}

}  // namespace

int link_connect(Link& l, const char* address, int port) {
  int rc = socket_startup();
  if (rc != 0) return report(l, LinkEventKind::kStartupFailed, kLinkFailed, rc);
  SocketHandle s = socket_open_tcp();
  if (s == kNoSocket) return report(l, LinkEventKind::kNoSocket, kLinkFailed);
  int connected = l.timeout_ms > 0 ? socket_connect_ipv4_within(s, address, port, l.timeout_ms)
                                   : socket_connect_ipv4(s, address, port);
  if (connected != 0) {
    socket_close(s);
    if (connected == -2) return report(l, LinkEventKind::kTimedOut, kLinkTimedOut);
    return report(l, LinkEventKind::kConnectFailed, kLinkRefused);
  }
  // Frames are small and strictly alternate with the peer's answers; without this, a
  // frame sent right after another waits for the delayed acknowledgement.
  socket_set_nodelay(s);
  link_attach(l, s);
  return 0;
}

void link_attach(Link& l, SocketHandle socket) {
  l.socket = socket;
  l.peer_closed = false;
  frame_reader_reset(l.reader);
}

void link_close(Link& l) {
  socket_close(l.socket);
  l.socket = kNoSocket;
}

int link_send_all(Link& l, const uint8_t* bytes, size_t length) {
  return link_send_two(l, bytes, length, nullptr, 0);
}

int link_send_two(Link& l, const uint8_t* head, size_t head_length, const uint8_t* body,
                  size_t body_length) {
  if (l.peer_closed) return report_closed(l);
  const size_t total = head_length + body_length;
  const bool bounded = l.timeout_ms > 0;
  for (size_t sent = 0; sent < total;) {
    // What is left: the rest of head (then all of body), or the rest of body alone.
    const uint8_t* first = sent < head_length ? head + sent : body + (sent - head_length);
    size_t first_length = sent < head_length ? head_length - sent : total - sent;
    size_t second_length = sent < head_length ? body_length : 0;
    if (l.write_piece) {
      if (first_length > l.write_piece) first_length = l.write_piece;
      size_t room = l.write_piece - first_length;
      if (second_length > room) second_length = room;
    }
    long n = socket_send_two(l.socket, first, first_length, body, second_length, bounded);
    if (n < 0) {
      int error = socket_last_error();
      if (socket_error_is_interrupt(error)) continue;
      if (bounded && socket_error_is_would_block(error)) {
        int writable = socket_wait_writable(l.socket, l.timeout_ms);
        if (writable == 0) return report(l, LinkEventKind::kTimedOut, kLinkTimedOut);
        if (writable > 0) continue;
        error = socket_last_error();
        if (socket_error_is_interrupt(error)) continue;
      }
      return report(l, LinkEventKind::kSendFailed, kLinkFailed, error);
    }
    sent += static_cast<size_t>(n);
  }
  return 0;
}

int link_send_frame_as(Link& l, const uint8_t* payload, size_t length, const char* what,
                       TraceKind kind) {
  if (length > kMaxPayload) length = kMaxPayload;
  if (l.peer_closed) return report_closed(l);
  uint8_t header[kFrameHeaderSize];
  put_frame_header(header, length);
  trace(l, true, payload, length, what, kind);
  return link_send_two(l, header, sizeof header, payload, length);
}

int link_send_frame(Link& l, const uint8_t* payload, size_t length) {
  return link_send_frame_as(l, payload, length, nullptr, kTraceData);
}

bool link_mid_frame(const Link& l) {
  return frame_reader_pending(l.reader) > 0 || l.reader.oversize_left > 0;
}

int link_next_frame(Link& l, int begin_timeout_ms, const uint8_t** payload, size_t* length) {
  FrameReader& r = l.reader;
  for (;;) {
    FrameNext next = frame_reader_next(r, payload, length);
    if (next == kFrameReady) {
      trace(l, false, *payload, *length);
      return static_cast<int>(*length);
    }
    if (next == kFrameOversize) {
      if (l.trace) {
        if (l.trace_clock) print_time_of_day(l.trace);
        char note[64];
        snprintf(note, sizeof note, "oversize  frame of %zu bytes skipped", r.oversize_length);
        trace_note(l.trace, l.trace_name, false, note, nullptr, 0);
      }
      return report(l, LinkEventKind::kOversize, kLinkOversize, 0, r.oversize_length);
    }
    if (l.peer_closed) return report_closed(l);
    // Between frames the peer may be idle for as long as the caller allows; once a frame
    // has begun, the rest is owed within the link's own time-out.
    int wait = link_mid_frame(l) ? l.timeout_ms : begin_timeout_ms;
    size_t room;
    uint8_t* space = frame_reader_space(r, &room);
    // Unbounded, the receive blocks; bounded, it takes what has arrived and waits for the
    // socket only when nothing has.
    long n =
        wait > 0 ? socket_recv_no_wait(l.socket, space, room) : socket_recv(l.socket, space, room);
    if (n < 0) {
      int error = socket_last_error();
      if (socket_error_is_interrupt(error)) continue;
      if (wait > 0 && socket_error_is_would_block(error)) {
        int ready = socket_wait_readable(l.socket, wait);
        if (ready == 0) return report(l, LinkEventKind::kTimedOut, kLinkTimedOut);
        if (ready > 0) continue;
        error = socket_last_error();
        if (socket_error_is_interrupt(error)) continue;
      }
      return report(l, LinkEventKind::kRecvFailed, kLinkFailed, error);
    }
    if (n == 0) {
      l.peer_closed = true;
      return report_closed(l);
    }
    frame_reader_commit(r, static_cast<size_t>(n));
  }
}

int link_receive_frame(Link& l, uint8_t* dest, size_t capacity) {
  const uint8_t* payload;
  size_t length;
  int n = link_next_frame(l, l.timeout_ms, &payload, &length);
  if (n < 0) return n;
  if (length > capacity)
    return report(l, LinkEventKind::kTooLong, kLinkTooLong, 0, length, capacity);
  if (length) std::memcpy(dest, payload, length);
  return n;
}

bool link_wait_readable(Link& l, int timeout_ms) {
  if (frame_reader_pending(l.reader)) return true;
  return socket_wait_readable(l.socket, timeout_ms) == 1;
}

}  // namespace rq
