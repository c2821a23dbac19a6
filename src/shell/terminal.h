#pragma once

namespace rq {

// True when standard error is a terminal (a person watching), false for pipes and files.
bool stderr_is_terminal();

}  // namespace rq
