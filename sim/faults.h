// Fault injection for rehearsals and hardening tests: rules, given on the command line, that
// make rqsim refuse, fail, cut or garble chosen steps of chosen commands. A rule applies to
// every occurrence of its command in every connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "commands.h"

namespace rq::sim {

constexpr int kMaxFaultRules = 32;
constexpr int kEveryCommand = -2;

// Refuse the ready (or grant) message numbered `step` within a command: step 1 is the one
// ahead of the command message, 2 the next, and so on. The ready ahead of a command message
// goes out before rqsim can know the command, so step 1 is chosen by position instead: the
// ordinal-th command message of a connection, or every one (command = kEveryCommand).
struct RefuseRule {
  int command;  // a command id for step >= 2; kNoCommand (by ordinal) or kEveryCommand
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

// The rules as the command line gave them.
struct Faults {
  RefuseRule refuse[kMaxFaultRules];
  int refuse_count = 0;
  StatusRule status[kMaxFaultRules];
  int status_count = 0;
  DropRule drop[kMaxFaultRules];
  int drop_count = 0;
  CorruptRule corrupt[kMaxFaultRules];
  int corrupt_count = 0;
  uint32_t oversize = 0;  // one bit per command id
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

// A refusal of one of a command's ready or grant messages.
struct StepRefusal {
  int step;
  int code;
};

// What the rules do to one command: gathered by faults_for, the one place the rules are
// looked up, when the command begins.
struct CommandFaults {
  int status = 0;           // --status: the outcome forced on it, or 0
  int64_t drop_after = -1;  // --drop: data bytes after which the link is cut, or -1
  bool oversize = false;    // --oversize and --garbage: what goes in place of its first
  bool garbage = false;     //   status or reply
  StepRefusal refusals[kMaxFaultRules];  // --refuse: the first rule for a step wins
  int refusal_count = 0;
  int64_t corrupt_offsets[kMaxFaultRules];  // --corrupt: bytes of the data it sends to flip
  int corrupt_count = 0;
};

// The rules for `command` (an id), the ordinal-th command message of its connection. For
// kNoCommand, those for the ready ahead of that message, which goes out before the command
// is known: step 1, refused by position (--refuse N=CODE, all=CODE).
CommandFaults faults_for(const Faults& f, int command, int ordinal);

// The code that refuses the command's step-th ready or grant message, or 0 to let it go.
int refusal_code(const CommandFaults& c, int step);

// Flips the bytes that --corrupt rules name within chunk, which holds the command's data
// from offset `at`.
void apply_corruption(const CommandFaults& c, int64_t at, uint8_t* chunk, size_t length);

}  // namespace rq::sim
