#include "faults.h"

#include <cstdint>
#include <cstring>

#include "decimal.h"
#include "link/protocol.h"

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
  fputs("rqsim: commands are ", err);
  print_keywords(err, " ", " ");
  fputc('\n', err);
}

// Splits "CMD<separator>VALUE": false when there is no separator or no such command.
bool split_rule(const char* text, char separator, int* command, const char** value) {
  const char* at = std::strchr(text, separator);
  *command = at ? parse_command(text, static_cast<size_t>(at - text)) : kNoCommand;
  *value = at ? at + 1 : "";
  return *command != kNoCommand;
}

// Says what the rule should look like and which commands there are; returns -1.
int wrong_rule(FILE* err, const char* wants, const char* text) {
  fprintf(err, "rqsim: %s, not \"%s\"\n", wants, text);
  list_commands(err);
  return -1;
}

// True when one more rule of a kind fits; otherwise says so.
bool room_for(int count, const char* option, FILE* err) {
  if (count < kMaxFaultRules) return true;
  fprintf(err, "rqsim: too many %s rules (at most %d)\n", option, kMaxFaultRules);
  return false;
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
  if (!room_for(f.refuse_count, "--refuse", err)) return -1;
  f.refuse[f.refuse_count++] = r;
  return 0;
}

int parse_status_rule(Faults& f, const char* text, FILE* err) {
  int command = kNoCommand, code = 0;
  const char* value = "";
  if (!split_rule(text, '=', &command, &value) || !parse_code(value, &code))
    return wrong_rule(err, "--status wants CMD=CODE with a non-zero CODE (-128..255)", text);
  if (!room_for(f.status_count, "--status", err)) return -1;
  f.status[f.status_count++] = {command, code};
  return 0;
}

int parse_drop_rule(Faults& f, const char* text, FILE* err) {
  int command = kNoCommand;
  const char* value = "";
  long long bytes = 0;
  if (!split_rule(text, ':', &command, &value) || !parse_decimal(value, 0, 2147483647, &bytes))
    return wrong_rule(err, "--drop wants CMD:BYTES (BYTES 0..2147483647)", text);
  if (!command_row(command).moves_data) {
    fprintf(err, "rqsim: --drop %s: %s moves no data (use ", text, command_name(command));
    print_keywords(err, ", ", " or ", true);
    fputs(")\n", err);
    return -1;
  }
  if (!room_for(f.drop_count, "--drop", err)) return -1;
  f.drop[f.drop_count++] = {command, bytes};
  return 0;
}

int parse_corrupt_rule(Faults& f, const char* text, FILE* err) {
  int command = kNoCommand;
  const char* value = "";
  long long offset = 0;
  if (!split_rule(text, ':', &command, &value) || !parse_decimal(value, 0, 2147483647, &offset))
    return wrong_rule(err, "--corrupt wants CMD:OFFSET (OFFSET 0..2147483647)", text);
  uint8_t code = command_row(command).code;
  if (code != kCmdGet && code != kCmdReadBoot) {
    fprintf(err, "rqsim: --corrupt %s: only the data of get and rb can be changed\n", text);
    return -1;
  }
  if (!room_for(f.corrupt_count, "--corrupt", err)) return -1;
  f.corrupt[f.corrupt_count++] = {command, offset};
  return 0;
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

CommandFaults faults_for(const Faults& f, int command, int ordinal) {
  CommandFaults c;
  for (int i = 0; i < f.refuse_count; ++i) {
    const RefuseRule& r = f.refuse[i];
    bool applies = command == kNoCommand
                       ? r.step == 1 && (r.command == kEveryCommand ||
                                         (r.command == kNoCommand && r.ordinal == ordinal))
                       : r.command == command && r.step > 1;
    if (applies) c.refusals[c.refusal_count++] = {r.step, r.code};
  }
  if (command == kNoCommand) return c;
  // Of two rules of a kind for one command, the first given wins.
  for (int i = 0; i < f.status_count && c.status == 0; ++i)
    if (f.status[i].command == command) c.status = f.status[i].code;
  for (int i = 0; i < f.drop_count && c.drop_after < 0; ++i)
    if (f.drop[i].command == command) c.drop_after = f.drop[i].bytes;
  for (int i = 0; i < f.corrupt_count; ++i)
    if (f.corrupt[i].command == command) c.corrupt_offsets[c.corrupt_count++] = f.corrupt[i].offset;
  c.oversize = (f.oversize >> command) & 1u;
  c.garbage = (f.garbage >> command) & 1u;
  return c;
}

int refusal_code(const CommandFaults& c, int step) {
  for (int i = 0; i < c.refusal_count; ++i)
    if (c.refusals[i].step == step) return c.refusals[i].code;
  return 0;
}

void apply_corruption(const CommandFaults& c, int64_t at, uint8_t* chunk, size_t length) {
  for (int i = 0; i < c.corrupt_count; ++i) {
    int64_t offset = c.corrupt_offsets[i];
    if (offset >= at && offset - at < static_cast<int64_t>(length)) chunk[offset - at] ^= 0xff;
  }
}

}  // namespace rq::sim
