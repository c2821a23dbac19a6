// The audio test at the console: the device dialogue with the operator's prompts, then its
// failure report and verdict line.
#pragma once

#include "shell/shell.h"

namespace rq {

// Returns 0 when the test passed, -1 when it failed or was cancelled (the verdict line has
// been printed either way).
int run_audio_test(Shell& c);

}  // namespace rq
