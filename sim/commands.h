// The commands rqsim plays, one row each: everything rqsim knows about a command stands in
// its row. A command is named by the shell keyword that sends it (link/protocol.h), in the
// trace and in the fault options (--status ls=9); within rqsim it is known by its row's
// number in the table, its id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace rq::sim {

struct Session;

// Plays the rest of a command's exchange (doc/protocol.md) once its command message has
// arrived, its ready already sent, with the message's sub-code and value. Returns 0, or a
// negative WireResult (wire.h) when the exchange ended early.
using Exchange = int (*)(Session& s, uint8_t sub_code, int32_t value);

struct SimCommand {
  const char* keyword;  // as the trace and the fault options name it
  uint8_t code;         // of its command message
  Exchange play;
  bool moves_data;  // moves file data or sends a reply frame: what --drop counts
};

constexpr int kNoCommand = -1;

int command_count();

// The row of a command id (0 .. command_count() - 1).
const SimCommand& command_row(int id);

// "ls" for ls's id; "?" for anything else.
const char* command_name(int id);

// The command a command-message code starts, or kNoCommand (unknown codes and the audio
// test's go and cancel messages, which are answers, not commands).
int command_from_code(uint8_t code);

// The command for a keyword of `length` bytes (exact, lower case), or kNoCommand.
int command_from_name(const char* name, size_t length);

// Writes the keywords in the table's order, joined by `separator` and, before the last one,
// by `last_separator`; only the commands that move data when `only_moving_data` is set.
void print_keywords(FILE* out, const char* separator, const char* last_separator,
                    bool only_moving_data = false);

}  // namespace rq::sim
