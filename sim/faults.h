// Fault injection for rehearsals and hardening tests: rules, given on the command line, that
// make rqsim refuse, fail, cut or garble chosen steps of chosen commands. A rule applies to
// every occurrence of its command in every connection.
#pragma once

#include <cstdint>
#include <cstdio>

#include "command_names.h"

namespace rq::sim {

constexpr int kMaxFaultRules = 32;
constexpr int kEveryCommand = -2;

// Refuse the ready (or grant) message numbered `step` within a command: step 1 is the one
// ahead of the command message, 2 the next, and so on. The ready ahead of a command message
// goes out before rqsim can know the command, so step 1 is chosen by position instead: the
// ordinal-th command message of a connection, or every one (command = kEveryCommand).
struct RefuseRule {
  int command;  // a SimCommand for step >= 2; kNoCommand (by ordinal) or kEveryCommand
  int step;
  int ordinal;
  int code;
};

struct StatusRule {
  int command;
  int code;
};

struct DropRule {
  int command;
  int64_t bytes;
};

// Flip one byte of the data a get or rb sends, at that offset of the file or image.
struct CorruptRule {
  int command;
  int64_t offset;
};

struct Faults {
  RefuseRule refuse[kMaxFaultRules];
  int refuse_count = 0;
  StatusRule status[kMaxFaultRules];
  int status_count = 0;
  DropRule drop[kMaxFaultRules];
  int drop_count = 0;
  CorruptRule corrupt[kMaxFaultRules];
  int corrupt_count = 0;
  uint32_t oversize = 0;  // one bit per SimCommand
  uint32_t garbage = 0;
  bool split = false;
  int stall_ms = 0;
};

// Option parsers: each adds one rule and returns 0, or prints why to err and returns -1.
//   --refuse CMD:STEP=CODE | N=CODE | all=CODE
//   --status CMD=CODE
//   --drop CMD:BYTES
//   --oversize CMD, --garbage CMD (flag is the rule's bit set)
int parse_refuse_rule(Faults& f, const char* text, FILE* err);
int parse_status_rule(Faults& f, const char* text, FILE* err);
int parse_drop_rule(Faults& f, const char* text, FILE* err);
//   --corrupt CMD:OFFSET (get or rb)
int parse_corrupt_rule(Faults& f, const char* text, FILE* err);
int parse_command_flag(uint32_t& flag, const char* option, const char* text, FILE* err);

// The code that refuses that ready message, or 0 to let it go ahead.
int refusal_code(const Faults& f, int command, int step, int ordinal);
// The status code forced on the command's outcome, or 0.
int forced_status(const Faults& f, int command);
// Data bytes after which the connection is cut, or -1.
int64_t drop_limit(const Faults& f, int command);
// Flips the byte of chunk (holding the command's data from offset `at`) that a --corrupt
// rule names, if the chunk holds it.
void apply_corruption(const Faults& f, int command, int64_t at, uint8_t* chunk, size_t length);
inline bool flag_set(uint32_t mask, int command) {
  return command >= 0 && command < 32 && (mask >> command) & 1u;
}

}  // namespace rq::sim
