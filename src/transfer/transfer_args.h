// Argument limits and the boot number, shared by the transfer commands.
#pragma once

#include <cstddef>

#include "shell/shell.h"

namespace rq {

// A command line holds at most 1023 characters, so both arguments with their zeros fit.
constexpr size_t kTransferArgumentsSize = 1024;

// The boot number as the device tools always read it (atoi, so a word gives 0). Prints the
// invalid-boot line and returns -1 unless it is 1, 2 or 3.
int boot_number(Shell& c, const char* text);

}  // namespace rq
