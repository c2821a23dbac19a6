// Opening a command script, for rqshell (its command line and `s`) and rqtool's run. A
// directory is no script: a C library that opens one for reading (glibc does) hands out a
// stream whose first read fails, which would read as an empty script and run nothing without
// a word. Windows refuses to open one in the first place; now every platform does.
#pragma once

#include <cstdio>
#include <string>

namespace rq {

// name as the C library's fopen reads it, opened for binary reading: the stream, or nullptr
// with errno set (EISDIR for a directory).
FILE* open_script_file(const char* c_library_name);

// The same for a name in the local layer's spelling (platform.h).
FILE* open_local_script_file(const std::string& name);

}  // namespace rq
