// The two argument forms every command uses: one path (the rest of the line), or two
// arguments of which only the first may be quoted. Blanks are space and tab only. Each
// parser takes the text after the command's keyword, as the dispatcher hands it over.
#pragma once

#include <cstddef>

#include "link/protocol.h"
#include "shell/shell.h"

namespace rq {

// Room for a command's two arguments with their zeros: what one frame carries, far more
// than a line of the console or of a script (at most 1023 characters) can hold.
constexpr size_t kArgumentsCapacity = kMaxPayload;

const char* skip_blanks(const char* text);
char* skip_blanks(char* text);

// Skips blanks, ends the path at the first CR or LF, and returns the path's wire length
// (characters + 1 for its zero). Inner and trailing blanks stay; the path may be empty.
int single_path(char* args, char** path);

// Parses "first second" (first optionally in double quotes) from text into out as
// first, 0, second, 0. Returns the total length and sets *second_offset, or -1 when the
// text has no second argument, an unclosed quote, or does not fit in capacity.
int two_arguments(const char* text, char* out, size_t capacity, size_t* second_offset);

// What every two-argument command does first: skips blanks, parses with two_arguments into
// out and sets *second to the second argument. Prints "INVALID cmd parameters\n" and returns
// -1 when the arguments are not there; returns the total length otherwise.
int command_arguments(Shell& c, const char* args, char* out, size_t capacity, char** second);

}  // namespace rq
