// The TCP link to a peer (the proxy, for the shell; the shell, for rqsim): the socket, the
// frame reader for incoming frames, and the one send-all and receive loop every program and
// test uses. A frame goes out as its header and the caller's payload in one call, uncopied.
//
// With a time-out set, the loops still try the socket first and wait for it (poll) only when
// it can take or give nothing at that moment, so a busy transfer costs one call per frame.
//
// The link prints nothing. Each failure is passed, as it happens, to the owner's report hook
// (if set), so that a console can show it in order with its own lines, and is kept as the
// link's `failure` when it is the first since the owner cleared `failed`; the caller also
// gets the failure as a negative result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "link/frame_reader.h"
#include "link/protocol.h"
#include "link/socket.h"
#include "link/trace.h"

namespace rq {

enum LinkResult : int {
  kLinkFailed = -1,    // the socket layer, a socket, a send or a receive failed
  kLinkRefused = -2,   // connect failed
  kLinkClosed = -3,    // the peer has closed the connection (this and every later call)
  kLinkTimedOut = -4,  // no progress within the link's time-out
  kLinkOversize = -5,  // a frame longer than kMaxPayload arrived and was skipped whole
  kLinkTooLong = -6,   // a frame longer than the caller's buffer arrived and was dropped
};

// Time-outs in milliseconds; 0 waits for ever.
constexpr int kLinkWaitForever = 0;

enum class LinkEventKind {
  kStartupFailed,  // the socket layer did not start; error = its value
  kNoSocket,       // no socket could be opened
  kConnectFailed,
  kSendFailed,  // error = the platform's error number
  kRecvFailed,  // error = the platform's error number
  kClosed,      // the peer closed the connection
  kTimedOut,
  kOversize,  // length = the announced length
  kTooLong,   // length = the frame's length, capacity = what the caller had room for
};

struct LinkEvent {
  LinkEventKind kind;
  int error = 0;
  size_t length = 0;
  size_t capacity = 0;
};

using LinkReport = void (*)(void* context, const LinkEvent& event);

struct Link {
  SocketHandle socket = kNoSocket;
  bool peer_closed = false;  // every later send and receive fails at once
  // Bounds every wait for the peer once a frame has begun, and every send; 0: for ever.
  int timeout_ms = kLinkWaitForever;
  // Largest piece offered to the socket at once; 0 offers everything (rqsim --split: 1).
  size_t write_piece = 0;
  LinkReport report = nullptr;
  void* report_context = nullptr;
  // The first failure reported since `failed` was last cleared, kept whether or not a hook
  // listens: a front end clears it before a command and reads it after to learn whether and
  // why the link failed meanwhile, also where the exchange went on regardless (a failed send
  // shows only at the next receive, and nothing is received after wb's last chunk).
  bool failed = false;
  LinkEvent failure{};
  // With trace set, every frame both ways is written there decoded (link/trace.h), each
  // line beginning with trace_name. rqsim leaves it unset: it traces each frame itself,
  // named by its part in the exchange.
  FILE* trace = nullptr;
  const char* trace_name = "";
  // Each trace line then begins with the time of day (UTC, milliseconds).
  bool trace_clock = false;

  FrameReader reader;
};

// Connects to a dotted IPv4 address (no name lookup). With a time-out set, the connect is
// bounded by it too. Returns 0, kLinkFailed (socket layer or socket), kLinkRefused (connect
// failed) or kLinkTimedOut (no answer within l.timeout_ms).
int link_connect(Link& l, const char* address, int port);

// Takes over a connected socket (rqsim's accepted shell, a test's socket pair).
void link_attach(Link& l, SocketHandle socket);

void link_close(Link& l);

// Sends bytes whole. Returns 0, or kLinkFailed, kLinkClosed or kLinkTimedOut.
int link_send_all(Link& l, const uint8_t* bytes, size_t length);

// Sends head and then body whole, offered to the socket in one call (as far as it takes
// them). Returns 0, or kLinkFailed, kLinkClosed or kLinkTimedOut.
int link_send_two(Link& l, const uint8_t* head, size_t head_length, const uint8_t* body,
                  size_t body_length);

// Sends one frame: its header and the payload in one call, the payload not copied.
// length is capped at kMaxPayload (callers never ask for more).
int link_send_frame(Link& l, const uint8_t* payload, size_t length);

// link_send_frame for a frame whose part in the exchange the caller knows (a path is text
// whatever its length or bytes, a chunk is data): the trace names it what and shows it as
// kind instead of telling by its length and bytes.
int link_send_frame_as(Link& l, const uint8_t* payload, size_t length, const char* what,
                       TraceKind kind);

// The one receive loop. Hands out the next whole frame (*payload valid until the next
// receive) and returns its length. The frame must begin within begin_timeout_ms; once it has
// begun, each wait is bounded by l.timeout_ms. Negative: kLinkFailed, kLinkClosed,
// kLinkTimedOut, or kLinkOversize (a frame too long for any buffer was skipped whole, its
// length in l.reader.oversize_length; the next frame is read in step).
int link_next_frame(Link& l, int begin_timeout_ms, const uint8_t** payload, size_t* length);

// Receives one frame within l.timeout_ms and copies its payload to dest. Returns the payload
// length, or a negative LinkResult; a frame longer than capacity is dropped (kLinkTooLong).
int link_receive_frame(Link& l, uint8_t* dest, size_t capacity);

// True when the peer has sent something within timeout_ms (as the socket shim counts it:
// 0 only looks); bytes already held count.
bool link_wait_readable(Link& l, int timeout_ms);

// True while part of a frame has arrived and the rest is still owed.
bool link_mid_frame(const Link& l);

}  // namespace rq
