// How the simulated device turns host failures into its status codes (link/status.h).
// Device functions return 0 or a length on success and the negated status code on failure.
#pragma once

#include "link/status.h"

namespace rq::sim {

// The device status for a failed host call's errno.
int status_for_errno(int error);

}  // namespace rq::sim
