#include "link/trace.h"

#include "link/protocol.h"

namespace rq {

namespace {

constexpr size_t kTraceBytes = 16;  // shown before a frame is abbreviated

}  // namespace

const char* command_code_name(uint8_t code, char* scratch, size_t scratch_size) {
  if (const char* keyword = command_code_keyword(code)) return keyword;
  snprintf(scratch, scratch_size, "0x%02x", code);
  return scratch;
}

static void print_hex(FILE* out, const uint8_t* bytes, size_t length, size_t shown) {
  for (size_t i = 0; i < length && i < shown; ++i) fprintf(out, " %02x", bytes[i]);
  if (length > shown) fprintf(out, " ... (+%zu bytes)", length - shown);
}

static void print_text(FILE* out, const uint8_t* p, size_t length) {
  fputc('"', out);
  size_t shown = length < 64 ? length : 64;
  for (size_t i = 0; i < shown; ++i) {
    if (p[i] == 0)
      fputs("\\0", out);
    else if (p[i] < 0x20 || p[i] >= 0x7f || p[i] == '"' || p[i] == '\\')
      fprintf(out, "\\x%02x", p[i]);
    else
      fputc(p[i], out);
  }
  fputc('"', out);
  if (length > shown) fputs("...", out);
}

void trace_frame(FILE* out, const char* who, bool sent, const char* what, TraceKind kind,
                 const uint8_t* payload, size_t length) {
  if (!out) return;
  fprintf(out, "%s %s %-9s ", who, sent ? "->" : "<-", what);
  if ((kind == kTraceCommand || kind == kTraceMessage) && length == kMessageSize) {
    if (kind == kTraceCommand) {
      char scratch[8];
      fprintf(out, "%s sub=%d value=%d", command_code_name(payload[0], scratch, sizeof scratch),
              payload[1], message_value(payload));
    } else {
      fprintf(out, "code=%d value=%d", message_code(payload), message_value(payload));
    }
  } else if (kind == kTraceText) {
    print_text(out, payload, length);
    fprintf(out, " (%zu bytes)", length);
  } else {
    fprintf(out, "%zu bytes", length);
  }
  uint8_t header[kFrameHeaderSize];
  put_frame_header(header, length);
  fputs(" |", out);
  print_hex(out, header, sizeof header, sizeof header);
  print_hex(out, payload, length, kTraceBytes);
  fputc('\n', out);
  fflush(out);
}

void trace_note(FILE* out, const char* who, bool sent, const char* text, const uint8_t* bytes,
                size_t length) {
  if (!out) return;
  fprintf(out, "%s %s %s", who, sent ? "->" : "<-", text);
  if (length) {
    fputs(" |", out);
    print_hex(out, bytes, length, kTraceBytes);
  }
  fputc('\n', out);
  fflush(out);
}

}  // namespace rq
