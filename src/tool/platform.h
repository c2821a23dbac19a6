// What rqtool needs of the platform beyond sockets: local files by their UTF-8 names (wide
// names on Windows, so that any letter works), standard output in binary mode, a pause and
// the terminal test. One twin per platform: platform_posix.cc, platform_win32.cc.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// What a tree walk meets at name. local_lstat does not follow a symbolic link (a Windows
// reparse point counts as one) and reports kLink; local_stat follows it. device and inode
// tell a directory met again through a link (0 where the platform gives none).
enum class LocalEntryKind { kMissing, kFile, kDirectory, kLink, kOther };
struct LocalStat {
  LocalEntryKind kind = LocalEntryKind::kMissing;
  uint64_t device = 0, inode = 0;
  int error = 0;  // errno when kMissing
};
LocalStat local_lstat(const std::string& name);
LocalStat local_stat(const std::string& name);

// The names in a directory, without "." and "..", sorted bytewise so that runs repeat.
// Returns 0 or an errno value.
int local_list_dir(const std::string& name, std::vector<std::string>* names);

// Makes one directory. Returns 0 or an errno value (EEXIST when anything is there).
int local_make_dir(const std::string& name);

// True where local file names follow Windows' rules, so that downloads check device names
// against them first.
bool local_names_windows();

// Text for an errno value from the C library's file calls.
std::string local_error_text(int error);

void set_binary_stdout();
bool stderr_on_terminal();
int process_id();
void pause_ms(int ms);

}  // namespace rq
