#include "faults.h"

#include <cstdint>
#include <cstring>

#include "decimal.h"

namespace rq::sim {

namespace {

constexpr int kMinCode = -128;  // status codes are signed bytes; 128..255 are the same bytes
constexpr int kMaxCode = 255;

// A status code for a rule: non-zero, since zero would change nothing.
bool parse_code(const char* text, int* code) {
  long long v = 0;
  if (!parse_decimal(text, kMinCode, kMaxCode, &v) || v == 0) return false;
  *code = static_cast<int>(v);
  return true;
}

int parse_command(const char* name, size_t length) {
  return length == 0 ? kNoCommand : command_from_name(name, length);
}

void list_commands(FILE* err) {
  fputs("rqsim: commands are", err);
  for (int i = 0; i < kSimCommandCount; ++i) fprintf(err, " %s", command_name(i));
  fputc('\n', err);
}

// Commands that move file data or send a reply frame, which --drop counts.
bool moves_data(int command) {
  switch (command) {
    case kSimLs:
    case kSimPwd:
    case kSimVer:
    case kSimPut:
    case kSimGet:
    case kSimRb:
    case kSimWb: return true;
    default: return false;
  }
}

}  // namespace

int parse_refuse_rule(Faults& f, const char* text, FILE* err) {
  const char* eq = std::strchr(text, '=');
  RefuseRule r{kNoCommand, 1, 0, 0};
  if (!eq || !parse_code(eq + 1, &r.code)) {
    fprintf(err,
            "rqsim: --refuse wants CMD:STEP=CODE, N=CODE or all=CODE with a non-zero CODE "
            "(-128..255), not \"%s\"\n",
            text);
    return -1;
  }
  // WHAT is text up to '=': "all", "N", "CMD" or "CMD:STEP".
  char head[16] = "";
  const char* step_text = "1";
  char step[16] = "";
  size_t what_length = static_cast<size_t>(eq - text);
  const char* colon = static_cast<const char*>(std::memchr(text, ':', what_length));
  size_t head_length = colon ? static_cast<size_t>(colon - text) : what_length;
  if (head_length < sizeof head) std::memcpy(head, text, head_length);
  if (colon) {
    size_t step_length = static_cast<size_t>(eq - colon - 1);
    if (step_length < sizeof step) std::memcpy(step, colon + 1, step_length);
    step_text = step;
  }
  long long n = 0;
  if (std::strcmp(head, "all") == 0 && !colon) {
    r.command = kEveryCommand;
  } else if (!colon && parse_decimal(head, INT32_MIN, INT32_MAX, &n)) {
    if (n < 1) {
      fprintf(err, "rqsim: --refuse %s: commands are counted from 1\n", text);
      return -1;
    }
    r.ordinal = static_cast<int>(n);
  } else {
    r.command = parse_command(head, std::strlen(head));
    if (r.command == kNoCommand) {
      fprintf(err, "rqsim: --refuse %s: unknown command \"%.*s\"\n", text,
              static_cast<int>(head_length), text);
      list_commands(err);
      return -1;
    }
    if (!parse_decimal(step_text, 1, 1000000000, &n)) {
      fprintf(err, "rqsim: --refuse %s: STEP must be a number from 2\n", text);
      return -1;
    }
    if (n == 1) {
      fprintf(err,
              "rqsim: --refuse %s: the ready ahead of a command message goes out before the "
              "command is known, so step 1 is chosen by position: --refuse N=CODE (the N-th "
              "command of a connection) or --refuse all=CODE; name a command only with a "
              "STEP of 2 or more (--refuse %s:2=%s)\n",
              text, head, eq + 1);
      return -1;
    }
    r.step = static_cast<int>(n);
  }
  if (f.refuse_count >= kMaxFaultRules) {
    fprintf(err, "rqsim: too many --refuse rules (at most %d)\n", kMaxFaultRules);
    return -1;
  }
  f.refuse[f.refuse_count++] = r;
  return 0;
}

int parse_status_rule(Faults& f, const char* text, FILE* err) {
  const char* eq = std::strchr(text, '=');
  int command = eq ? parse_command(text, static_cast<size_t>(eq - text)) : kNoCommand;
  int code = 0;
  if (command == kNoCommand || !parse_code(eq + 1, &code)) {
    fprintf(err, "rqsim: --status wants CMD=CODE with a non-zero CODE (-128..255), not \"%s\"\n",
            text);
    list_commands(err);
    return -1;
  }
  if (f.status_count >= kMaxFaultRules) {
    fprintf(err, "rqsim: too many --status rules (at most %d)\n", kMaxFaultRules);
    return -1;
  }
  f.status[f.status_count++] = {command, code};
  return 0;
}

int parse_drop_rule(Faults& f, const char* text, FILE* err) {
  const char* colon = std::strchr(text, ':');
  int command = colon ? parse_command(text, static_cast<size_t>(colon - text)) : kNoCommand;
  long long bytes = 0;
  if (command == kNoCommand || !parse_decimal(colon + 1, 0, 2147483647, &bytes)) {
    fprintf(err, "rqsim: --drop wants CMD:BYTES (BYTES 0..2147483647), not \"%s\"\n", text);
    list_commands(err);
    return -1;
  }
  if (!moves_data(command)) {
    fprintf(err, "rqsim: --drop %s: %s moves no data (use ls, pwd, ver, put, get, rb or wb)\n",
            text, command_name(command));
    return -1;
  }
  if (f.drop_count >= kMaxFaultRules) {
    fprintf(err, "rqsim: too many --drop rules (at most %d)\n", kMaxFaultRules);
    return -1;
  }
  f.drop[f.drop_count++] = {command, bytes};
  return 0;
}

int parse_corrupt_rule(Faults& f, const char* text, FILE* err) {
  const char* colon = std::strchr(text, ':');
  int command = colon ? parse_command(text, static_cast<size_t>(colon - text)) : kNoCommand;
  long long offset = 0;
  if (command == kNoCommand || !parse_decimal(colon + 1, 0, 2147483647, &offset)) {
    fprintf(err, "rqsim: --corrupt wants CMD:OFFSET (OFFSET 0..2147483647), not \"%s\"\n", text);
    list_commands(err);
    return -1;
  }
  if (command != kSimGet && command != kSimRb) {
    fprintf(err, "rqsim: --corrupt %s: only the data of get and rb can be changed\n", text);
    return -1;
  }
  if (f.corrupt_count >= kMaxFaultRules) {
    fprintf(err, "rqsim: too many --corrupt rules (at most %d)\n", kMaxFaultRules);
    return -1;
  }
  f.corrupt[f.corrupt_count++] = {command, offset};
  return 0;
}

void apply_corruption(const Faults& f, int command, int64_t at, uint8_t* chunk, size_t length) {
  for (int i = 0; i < f.corrupt_count; ++i) {
    const CorruptRule& r = f.corrupt[i];
    if (r.command != command || r.offset < at) continue;
    if (r.offset - at < static_cast<int64_t>(length)) chunk[r.offset - at] ^= 0xff;
  }
}

int parse_command_flag(uint32_t& flag, const char* option, const char* text, FILE* err) {
  int command = parse_command(text, std::strlen(text));
  if (command == kNoCommand) {
    fprintf(err, "rqsim: %s wants a command name, not \"%s\"\n", option, text);
    list_commands(err);
    return -1;
  }
  flag |= 1u << command;
  return 0;
}

int refusal_code(const Faults& f, int command, int step, int ordinal) {
  for (int i = 0; i < f.refuse_count; ++i) {
    const RefuseRule& r = f.refuse[i];
    if (step == 1 && command == kNoCommand) {
      if (r.command == kEveryCommand || (r.command == kNoCommand && r.ordinal == ordinal))
        return r.code;
    } else if (r.command == command && r.step == step && step > 1) {
      return r.code;
    }
  }
  return 0;
}

int forced_status(const Faults& f, int command) {
  for (int i = 0; i < f.status_count; ++i)
    if (f.status[i].command == command) return f.status[i].code;
  return 0;
}

int64_t drop_limit(const Faults& f, int command) {
  for (int i = 0; i < f.drop_count; ++i)
    if (f.drop[i].command == command) return f.drop[i].bytes;
  return -1;
}

}  // namespace rq::sim
