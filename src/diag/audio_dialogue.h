// The audio test: a dialogue in which the device plays a tone on each channel, records
// five seconds and plays them back, while the operator goes on, cancels, and says what
// was heard.
#pragma once

#include "link/connection.h"

namespace rq {

// Runs the whole dialogue from the command message on. Returns 0 when the test passed,
// -1 when it failed or was cancelled (the verdict line has been printed either way).
int run_audio_test(Connection& c);

}  // namespace rq
