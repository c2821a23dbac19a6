// Frames between rqsim and the shell, with the trace and the fault rules applied in one place.
//
// Results: 0 (or a payload length) on success; negative when the exchange must end here.
// kWireRefused and kWireInjected end only the exchange (the shell has dropped the command and
// the session goes on); the others also end the session (s.dropped is set).
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/trace.h"
#include "session.h"

namespace rq::sim {

constexpr int kWaitForever = kLinkWaitForever;
// How rqsim's lines in the wire trace begin.
constexpr const char* kTraceName = "rqsim";
// How long a shell may take for a frame it owes without asking the operator anything (the
// rest of a started frame, a path after its ready, the next upload chunk).
constexpr int kPeerTimeoutMs = 60000;

enum WireResult : int {
  kWireClosed = -1,    // the shell left, or the link failed
  kWireTimedOut = -2,  // the shell stopped sending mid-exchange
  kWireOversize = -3,  // the shell sent a frame longer than kMaxPayload (skipped whole)
  kWireRefused = -4,   // a refusing ready went out: the shell drops its command
  kWireInjected = -5,  // a fault rule replaced or cut the exchange
};

// Receives one frame. It must begin within timeout_ms (kWaitForever between commands and while
// the operator answers) and then arrive whole within kPeerTimeoutMs. *payload stays valid
// until the next receive.
int receive_frame(Session& s, const char* what, TraceKind kind, int timeout_ms,
                  const uint8_t** payload);

// True when the shell has sent something within timeout_ms.
bool shell_sent_within(Session& s, int timeout_ms);

// The ready message ahead of the shell's next frame (step counted for --refuse), and the
// upload grant, which plays the same part for chunks 0, 2, 4, ... Return 0 when the go-ahead
// went out, kWireRefused when a rule refused it instead.
int send_ready(Session& s);
int send_grant(Session& s);

// Whether a rule refuses the next ready or grant, so that an exchange can settle what it
// holds (an upload's temporary file) before the refusal tells the shell it is over.
bool next_gate_refused(const Session& s);

// A ready message carrying a non-zero code: the shell drops its command. Returns
// kWireRefused once sent.
int send_refusal(Session& s, int code);

// A status message. The command's first status or reply may be replaced by --oversize or
// --garbage (kWireInjected).
int send_status(Session& s, int code, int32_t value, const char* what = "status");

// A reply or data frame; counts toward --drop, which may cut it short (kWireInjected).
int send_data(Session& s, const char* what, TraceKind kind, const uint8_t* payload, size_t length);

// Counts received file data toward --drop; kWireInjected when the link was cut.
int note_data_received(Session& s, size_t length);

// Ends the session; the reason goes to the log once.
void drop_link(Session& s, const char* why);

// The status that answers the current command in place of the device acting on it: `code`
// when its request earned one (a wrong layout), else the status a --status rule forces,
// leaving the device as it was; 0 when the device is to act. Every exchange asks here once
// its request is in hand.
int preempting_status(const Session& s, int code = 0);

}  // namespace rq::sim
