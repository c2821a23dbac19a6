#include "wire.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "faults.h"

namespace rq::sim {

void drop_link(Session& s, const char* why) {
  if (s.dropped) return;
  s.dropped = true;
  if (why) fprintf(s.log, "rqsim: dropping the shell: %s\n", why);
}

// Writes head and body whole, in one call when the socket takes them (one byte per write
// with --split), giving up on a shell that stops reading for kPeerTimeoutMs.
static int write_two(Session& s, const uint8_t* head, size_t head_length, const uint8_t* body,
                     size_t body_length) {
  if (s.dropped) return kWireClosed;
  int rc = link_send_two(s.link, head, head_length, body, body_length);
  if (rc == kLinkTimedOut) {
    drop_link(s, "it stopped reading");
    return kWireTimedOut;
  }
  if (rc < 0) {
    s.dropped = true;  // the shell has gone: nothing to report beyond its leaving
    return kWireClosed;
  }
  return 0;
}

static int write_bytes(Session& s, const uint8_t* bytes, size_t length) {
  return write_two(s, bytes, length, nullptr, 0);
}

// Sends header and the first `cut` payload bytes of a frame announcing `length`.
static int write_frame(Session& s, const uint8_t* payload, size_t length, size_t cut) {
  if (s.options->faults.stall_ms > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(s.options->faults.stall_ms));
  uint8_t header[kFrameHeaderSize];
  put_frame_header(header, length);
  return write_two(s, header, sizeof header, payload, cut);
}

static int send_message(Session& s, const char* what, int code, int32_t value) {
  uint8_t msg[kMessageSize];
  make_message(msg, static_cast<uint8_t>(code), 0, value);
  trace_frame(s.trace, kTraceName, true, what, kTraceMessage, msg, sizeof msg);
  return write_frame(s, msg, sizeof msg, sizeof msg);
}

// --oversize and --garbage take the place of the command's first status or reply.
static int replace_first_answer(Session& s) {
  if (s.answered) return 0;
  s.answered = true;
  if (s.faults.oversize) {
    // A frame announcing more than any staging buffer holds, with all its bytes, so the
    // stream stays in step once the shell has skipped it.
    uint8_t header[kFrameHeaderSize];
    put_frame_header(header, kInjectedOversizeLength);
    char note[64];
    snprintf(note, sizeof note, "oversize  frame of %zu bytes (injected)", kInjectedOversizeLength);
    trace_note(s.trace, kTraceName, true, note, header, sizeof header);
    if (write_bytes(s, header, sizeof header) < 0) return kWireClosed;
    uint8_t filler[1024];
    std::memset(filler, 0xEE, sizeof filler);
    for (size_t left = kInjectedOversizeLength; left > 0;) {
      size_t n = left < sizeof filler ? left : sizeof filler;
      if (write_bytes(s, filler, n) < 0) return kWireClosed;
      left -= n;
    }
    return kWireInjected;
  }
  if (s.faults.garbage) {
    // Not a frame: no markers, and a length no shell can trust. Nothing after it can be
    // read in step, so the link goes.
    static const uint8_t kGarbage[] = {0xDE, 0xAD, 0xBE, 0xEF, 'n', 'o', 't', ' ',
                                       'a',  ' ',  'f',  'r',  'a', 'm', 'e', '\n'};
    trace_note(s.trace, kTraceName, true, "garbage   (injected)", kGarbage, sizeof kGarbage);
    write_bytes(s, kGarbage, sizeof kGarbage);
    drop_link(s, "garbage injected");
    return kWireInjected;
  }
  return 0;
}

static int send_gate(Session& s, const char* what, bool is_grant) {
  ++s.gates;
  int code = refusal_code(s.faults, s.gates);
  if (code != 0) return send_refusal(s, code);
  if (is_grant) {
    int rc = replace_first_answer(s);
    if (rc < 0) return rc;
  }
  return send_message(s, what, 0, 0);
}

bool next_gate_refused(const Session& s) { return refusal_code(s.faults, s.gates + 1) != 0; }

int send_ready(Session& s) { return send_gate(s, "ready", false); }
int send_grant(Session& s) { return send_gate(s, "grant", true); }

int send_refusal(Session& s, int code) {
  int rc = send_message(s, "refusal", code, 0);
  return rc < 0 ? rc : kWireRefused;
}

int send_status(Session& s, int code, int32_t value, const char* what) {
  int rc = replace_first_answer(s);
  if (rc < 0) return rc;
  return send_message(s, what, code, value);
}

// Bytes of `length` that may still go before --drop cuts the link.
static size_t allowed_before_drop(const Session& s, size_t length) {
  int64_t limit = s.faults.drop_after;
  if (limit < 0) return length;
  int64_t left = limit - s.data_bytes;
  if (left <= 0) return 0;
  return static_cast<uint64_t>(left) < length ? static_cast<size_t>(left) : length;
}

int send_data(Session& s, const char* what, TraceKind kind, const uint8_t* payload, size_t length) {
  int rc = replace_first_answer(s);
  if (rc < 0) return rc;
  size_t cut = allowed_before_drop(s, length);
  if (cut == 0 && length > 0) {
    drop_link(s, "cut by --drop");
    return kWireInjected;
  }
  trace_frame(s.trace, kTraceName, true, what, kind, payload, length);
  rc = write_frame(s, payload, length, cut);
  if (rc < 0) return rc;
  s.data_bytes += static_cast<int64_t>(cut);
  if (cut < length) {
    trace_note(s.trace, kTraceName, true, "(frame cut short by --drop)", nullptr, 0);
    drop_link(s, "cut by --drop");
    return kWireInjected;
  }
  return 0;
}

int note_data_received(Session& s, size_t length) {
  s.data_bytes += static_cast<int64_t>(length);
  int64_t limit = s.faults.drop_after;
  if (limit >= 0 && s.data_bytes >= limit) {
    drop_link(s, "cut by --drop");
    return kWireInjected;
  }
  return 0;
}

int preempting_status(const Session& s, int code) { return code != 0 ? code : s.faults.status; }

bool shell_sent_within(Session& s, int timeout_ms) {
  return link_wait_readable(s.link, timeout_ms);
}

int receive_frame(Session& s, const char* what, TraceKind kind, int timeout_ms,
                  const uint8_t** payload) {
  if (s.dropped) return kWireClosed;
  const uint8_t* p = nullptr;
  size_t length = 0;
  int n = link_next_frame(s.link, timeout_ms, &p, &length);
  if (n >= 0) {
    const uint8_t* frame = frame_reader_frame(s.link.reader);
    if (frame[0] != kFrameMarker0 || frame[1] != kFrameMarker1) {
      trace_note(s.trace, kTraceName, false, "bytes that are not a frame", frame,
                 kFrameHeaderSize + length);
      drop_link(s, "it sent bytes that are not a frame");
      return kWireClosed;
    }
    trace_frame(s.trace, kTraceName, false, what, kind, p, length);
    *payload = p;
    return n;
  }
  switch (n) {
    case kLinkOversize: {
      char note[96];
      snprintf(note, sizeof note, "%-9s oversize frame of %zu bytes skipped", what,
               s.link.reader.oversize_length);
      trace_note(s.trace, kTraceName, false, note, nullptr, 0);
      return kWireOversize;
    }
    case kLinkTimedOut:
      drop_link(s, "it stopped sending in the middle of an exchange");
      return kWireTimedOut;
    case kLinkClosed:
      if (link_mid_frame(s.link)) drop_link(s, "it left in the middle of a frame");
      s.dropped = true;
      return kWireClosed;
    default: drop_link(s, "receive failed"); return kWireClosed;
  }
}

}  // namespace rq::sim
