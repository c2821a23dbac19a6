// rqtool's whole run: arguments as UTF-8 (main on POSIX, converted from wmain's UTF-16 on
// Windows). Returns the exit status.
#pragma once

namespace rq {

int tool_main(int argc, char** argv);

}  // namespace rq
