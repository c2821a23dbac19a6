// The shell's words for a local file that failed (local/local_failure.h): each prints one
// line naming the file as the operator typed it, notes the outcome and returns -1, so that a
// failure site is one line.
#pragma once

#include "local/local_failure.h"
#include "shell/shell.h"

namespace rq {

// A file that put or wb could not load.
int report_load_failure(Shell& c, const char* pc_file, const LocalFailure& f);

// A download target that get or rb could not open, or could not finish.
int report_target_failure(Shell& c, const char* pc_file, const LocalFailure& f);

}  // namespace rq
