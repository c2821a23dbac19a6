// A wire trace: every frame in both directions, decoded, on one line each, as
//   rqsim <- command   cd sub=0 value=5          | 41 67 00 08 05 00 00 00 05 00 00 00
//   rqsim -> status    code=0 value=6            | 41 67 00 08 00 00 00 00 06 00 00 00
//   rqsim -> data      16384 bytes               | 41 67 40 00 7f 45 4c 46 ... (+16368 bytes)
// The line begins with the tracing program's name; "->" is a frame it sent, "<-" one it
// received. Long frames show their first bytes only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace rq {

enum TraceKind {
  kTraceCommand,  // a command message, or a go/cancel answer
  kTraceMessage,  // ready, status, grant: code and value
  kTraceText,     // a path or names: shown as text
  kTraceData,     // file data, listings: length only
};

// Writes one line for a frame (nothing when out is null). what names the frame in the
// exchange ("ready", "path", "chunk").
void trace_frame(FILE* out, const char* who, bool sent, const char* what, TraceKind kind,
                 const uint8_t* payload, size_t length);

// A line of its own for events that are not whole frames (skipped, cut or garbage bytes).
void trace_note(FILE* out, const char* who, bool sent, const char* text, const uint8_t* bytes,
                size_t length);

// command_code_keyword (link/protocol.h), or the code in hex ("0x42") written into scratch.
const char* command_code_name(uint8_t code, char* scratch, size_t scratch_size);

}  // namespace rq
