// What the front ends need of the platform beyond sockets: local files, standard streams and
// terminals. One twin per platform: platform_posix.cc, platform_win32.cc; what both would
// write alike (the loops over single reads and writes) is in platform.cc.
//
// Names are the local layer's spelling: bytes as they are on POSIX, UTF-8 on Windows, where
// they are opened through the wide calls so that any letter works. A front end that has a
// name as the C library reads it (rqshell's arguments and console lines) turns it into that
// spelling with local_name() first.
//
// Descriptors are binary, unbuffered and not inherited by child processes, so a download
// writes each frame's payload with one write() straight from where it was received, and an
// upload loads its file with large reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace rq {

// name, given as the C library's fopen reads names (the process's code page on Windows), in
// the local layer's spelling.
std::string local_name(const char* c_library_name);

// Each returns a descriptor, or -1 with errno set.
int local_open_read(const std::string& name);
int local_open_write(const std::string& name);  // creates or truncates
int local_create_new(const std::string& name);  // fails when anything (a link too) has that name

// One write or read of at most length bytes (the platform may move fewer), tried again when
// a signal interrupts it: the bytes moved (for a read, 0 at the end of the file), or -1 with
// errno set.
long long local_write_some(int fd, const uint8_t* data, size_t length);
long long local_read_some(int fd, uint8_t* data, size_t length);

// Writes all of data, resuming after short writes and interrupts: 0, or -1 with errno set.
int local_write_all(int fd, const uint8_t* data, size_t length);

// Reads until length bytes or the end of the file: the bytes read, or -1 with errno set.
long long local_read_full(int fd, uint8_t* data, size_t length);

// Back to the file's start: 0, or -1 with errno set.
int local_rewind(int fd);

// 0, or -1 with errno set (the last write-back error shows here).
int local_close(int fd);

// A hint that the block about to be filled is large: where the system has large pages they
// back it, so filling it takes a few hundred page faults instead of one per 4 KiB. The
// block's content and size are unchanged; a system without the hint ignores it.
void local_expect_large_block(void* data, size_t length);

// A stream on name (the run's script, the trace file), or nullptr with errno set.
FILE* local_fopen(const std::string& name, const char* mode);

// What is at a name. kLink only from local_lstat (a Windows reparse point counts as one);
// kOther: a device such as /dev/null or NUL, a pipe, a socket.
enum class LocalKind { kMissing, kFile, kDirectory, kLink, kOther };
struct LocalStat {
  LocalKind kind = LocalKind::kMissing;
  int64_t size = 0;
  // Tell a directory met again through a link; 0 where the platform gives none.
  uint64_t device = 0, inode = 0;
  int error = 0;  // errno when kMissing
};
LocalStat local_stat(const std::string& name);   // follows a symbolic link
LocalStat local_lstat(const std::string& name);  // does not
LocalStat local_fstat(int fd);

// The file a write to name lands in: a symbolic link's final destination, else name
// (also for a link that leads nowhere: it is replaced).
std::string local_link_target(const std::string& name);

// Moves from over to, replacing it in one step. Returns 0 or an errno value.
int local_replace(const std::string& from, const std::string& to);

void local_remove(const std::string& name);

// Removes a file, or a symbolic link itself (never what it leads to). Returns 0 or an errno
// value.
int local_remove_file(const std::string& name);

// Removes an empty directory (or, on Windows, a directory link itself). Returns 0 or an errno
// value.
int local_remove_dir(const std::string& name);

// Gives to the permissions of existing, where the platform keeps them (POSIX modes), so
// that a replaced file keeps what its owner set.
void local_copy_permissions(const std::string& existing, const std::string& to);

// The names in a directory, without "." and "..", sorted bytewise so that runs repeat.
// Returns 0 or an errno value.
int local_list_dir(const std::string& name, std::vector<std::string>* names);

// Makes one directory. Returns 0 or an errno value (EEXIST when anything is there).
int local_make_dir(const std::string& name);

// True where local names follow Windows' rules (local_names.h).
bool local_names_windows();

// Text for an errno value.
std::string local_error_text(int error);

// Standard output takes bytes as they are (no line-end translation).
void set_binary_stdout();

// True when standard error is a terminal (a person watching), false for pipes and files;
// on Windows a console, not merely a character device such as NUL.
bool stderr_is_terminal();

// Readies standard error, a terminal, for a progress line, which is redrawn with a carriage
// return and erased with an erase-to-end-of-line sequence. A Windows console shows that
// sequence as text unless virtual-terminal processing is on, so it is switched on. Returns
// false where that is not possible: the line is then erased with blanks.
bool stderr_enable_line_erase();

// Puts back the mode stderr_enable_line_erase changed (a console keeps it after the program
// has ended). An interrupt that ends the program puts it back too, when
// stderr_enable_line_erase ran after install_interrupt_cleanup.
void stderr_restore_mode();

// True when the end of console input leaves the cursor behind the typed text: at a POSIX
// terminal Ctrl-D moves to no new line, while a Windows console echoes the Enter that
// follows Ctrl-Z. False for pipes and files.
bool console_end_leaves_line_open();

}  // namespace rq
