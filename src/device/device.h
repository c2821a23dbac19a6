// One connection to the device as the device operations see it: the link, the buffer that
// holds the current 8-byte message with room behind it for one frame's payload, and the ping
// counter. Every operation here returns what happened and prints nothing; the exchanges
// themselves are described in doc/protocol.md.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/link.h"
#include "link/protocol.h"

namespace rq {

// Room for the current 8-byte message and, behind it, one frame's payload.
constexpr size_t kMessageBufferSize = kMessageSize + kMaxPayload;

// The code of a step whose message never arrived (or whose frame could not be sent): it is
// reported like a status of -1, so the command ends as failed rather than trusting old bytes.
constexpr int kCodeLinkLost = -1;

struct Device {
  Link link;
  uint8_t message[kMessageBufferSize];
  int32_t ping_counter = 0;
};

// The area behind the 8-byte message, where command payloads and replies go.
inline uint8_t* payload_area(Device& d) { return d.message + kMessageSize; }

// The step of an exchange at which it ended.
enum class Step : uint8_t {
  kNone,        // it succeeded
  kCommand,     // the ready ahead of the command message was not 0 (or did not arrive)
  kPayload,     // the ready ahead of the path, names or put payload was not 0
  kStatus,      // the command's status was not 0, or did not arrive
  kReply,       // the reply frame after the status did not arrive (or a ping came back wrong)
  kReduction,   // wb: the status carrying the first-chunk reduction, or an unusable reduction
  kData,        // file data: a grant, a chunk's ready, a data frame or the final status
  kNextStatus,  // rb: the status between two chunks
  kSource,      // put, wb: the local source gave fewer bytes than announced
};

// 0, or the refusing or status code (kCodeLinkLost when the link failed) and its step.
struct Result {
  int code = 0;
  Step step = Step::kNone;
  bool ok() const { return code == 0; }
};

inline Result failed_at(Step step, int code) { return Result{code, step}; }

// What an operation tells its caller while it runs, in the order it happens, so that a front
// end can draw progress and print in the middle of an exchange.
enum class DeviceEventKind {
  kDataBegin,   // value: the bytes the data phase will move
  kProgress,    // value: bytes moved so far
  kEmptyFrame,  // a data frame without bytes arrived; the download goes on
};

struct DeviceEvent {
  DeviceEventKind kind;
  int64_t value = 0;
};

struct DeviceEvents {
  void* context = nullptr;
  void (*on_event)(void* context, const DeviceEvent& event) = nullptr;
};

inline void notify(const DeviceEvents* events, DeviceEventKind kind, int64_t value = 0) {
  if (events && events->on_event) events->on_event(events->context, DeviceEvent{kind, value});
}

// What a frame sent is, for the link's trace: a path or names (text), a put payload or a
// chunk (data). The default lets the trace tell by the frame's length and bytes.
struct SentAs {
  const char* what = nullptr;
  TraceKind kind = kTraceData;
};
inline constexpr SentAs kSentPath{"payload", kTraceText};
inline constexpr SentAs kSentPutPayload{"payload", kTraceData};
inline constexpr SentAs kSentChunk{"data", kTraceData};

// One frame out; 0, or kCodeLinkLost (the link has reported why).
int send_frame(Device& d, const uint8_t* payload, size_t length, SentAs as = {});

// One frame in, copied to dest; its length, or kCodeLinkLost.
int receive_frame(Device& d, uint8_t* dest, size_t capacity);

// One frame in, left where the link received it: *payload is valid until the next receive.
// Its length, or kCodeLinkLost.
int receive_frame_in_place(Device& d, const uint8_t** payload);

// Receives an 8-byte status, ready or grant message into d.message. A shorter frame leaves
// zeros in its missing bytes, so nothing from an earlier exchange is read as part of it.
// Returns the frame's length or kCodeLinkLost.
int receive_message(Device& d);

// The ready rule: waits for the peer's ready message and sends one frame only if its code
// is 0. Returns 0 when sent, the (signed) refusing code, or kCodeLinkLost.
int ready_gated_send(Device& d, const uint8_t* payload, size_t length, SentAs as = {});

// Builds the command message in d.message and sends it through ready_gated_send.
int send_command(Device& d, uint8_t code, uint8_t sub_code, int32_t value);

// Receives a status message into d.message. Returns its (signed) code, or kCodeLinkLost.
int receive_status(Device& d);

}  // namespace rq
