// What rqtool needs of the platform beyond sockets: local files by their UTF-8 names (wide
// names on Windows, so that any letter works), standard output in binary mode, a pause and
// the terminal test. One twin per platform: platform_posix.cc, platform_win32.cc.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace rq {

FILE* local_open(const std::string& name, const char* mode);

// Creates name for writing, failing when it exists already (so nothing is overwritten).
FILE* local_create_new(const std::string& name);

// Moves from over to (replacing it). Returns 0 or the platform's error number.
int local_replace(const std::string& from, const std::string& to);

void local_remove(const std::string& name);

// The size of an open file. Returns 0 or -1.
int local_file_size(FILE* f, int64_t* size);

// Gives to_name the permissions of existing, where the platform keeps them (POSIX modes),
// so that a replaced file keeps what its owner set.
void local_copy_permissions(const std::string& existing, const std::string& to_name);

// What is at name: kMissing, a regular file, or something else (a directory, a device such
// as /dev/null, a pipe). A symbolic link is followed.
enum class LocalKind { kMissing, kRegular, kOther };
LocalKind local_kind(const std::string& name);

// The file a write to name lands in: a symbolic link's final destination, else name.
std::string local_write_target(const std::string& name);

// Text for an errno value from the C library's file calls.
std::string local_error_text(int error);

void set_binary_stdout();
bool stderr_on_terminal();
int process_id();
void pause_ms(int ms);

}  // namespace rq
