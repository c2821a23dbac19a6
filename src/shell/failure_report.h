// How failures reach the console: the device's refusals and bad statuses as the failure
// report, and the link's failures as its own lines, each erasing a progress line first.
#pragma once

#include "link/link.h"
#include "shell/commands.h"
#include "shell/shell.h"

namespace rq {

// Prints "ERROR: <status text> \n" and then line_format (which has one %d) with code.
// Returns how the command ended, kLink for kCodeLinkLost and kDevice for any other code, so
// a failure site is one line: return print_failure_report(c, code, ...).
CommandOutcome print_failure_report(Shell& c, int code, const char* line_format);

// The link's report hook for a shell session (context: the Shell).
void report_link_event(void* context, const LinkEvent& event);

}  // namespace rq
