// The --trace log: every frame in both directions, on one line each, as
//   rqsim <- command   cd sub=0 value=5          | 41 67 00 08 05 00 00 00 05 00 00 00
//   rqsim -> status    code=0 value=6            | 41 67 00 08 00 00 00 00 06 00 00 00
//   rqsim -> data      16384 bytes               | 41 67 40 00 7f 45 4c 46 ... (+16368 bytes)
// "<-" is from the shell, "->" to it. Long frames show their first bytes only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace rq::sim {

enum TraceKind {
  kTraceCommand,  // a command message, or a go/cancel answer
  kTraceMessage,  // ready, status, grant: code and value
  kTraceText,     // a path or names: shown as text
  kTraceData,     // file data, listings: length only
};

void trace_frame(FILE* out, bool to_shell, const char* what, TraceKind kind, const uint8_t* payload,
                 size_t length);

// A line of its own for events that are not whole frames (skipped, cut or garbage bytes).
void trace_note(FILE* out, bool to_shell, const char* text, const uint8_t* bytes, size_t length);

}  // namespace rq::sim
