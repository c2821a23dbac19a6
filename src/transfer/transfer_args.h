// Argument parsing shared by the transfer commands.
#pragma once

#include <cstddef>

#include "link/connection.h"

namespace rq {

// A command line holds at most 1023 characters, so both arguments with their zeros fit.
constexpr size_t kTransferArgumentsSize = 1024;

// Parses the two arguments behind a keyword of keyword_length characters into out (first,
// 0, second, 0) and sets *second to the second one. Prints "INVALID cmd parameters\n" and
// returns -1 when they are not there; returns the parsed length otherwise.
int transfer_arguments(Connection& c, const char* command, size_t keyword_length, char* out,
                       size_t capacity, char** second);

// The boot number as the device tools always read it (atoi, so a word gives 0). Prints the
// invalid-boot line and returns -1 unless it is 1, 2 or 3.
int boot_number(Connection& c, const char* text);

}  // namespace rq
