// Plain descriptors for the local files that transfers read and write: binary, unbuffered,
// so a download writes each frame's payload with one write() straight from where it was
// received, and an upload loads its file with large reads. One twin per platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rq {

// Each returns a descriptor, or -1 with errno set.
int local_create_new(const char* path);  // fails when anything (a link too) has that name
int local_open_write(const char* path);  // creates or truncates
int local_open_read(const char* path);

// Writes all of data, resuming after short writes and interrupts: 0, or -1 with errno set.
int local_write_all(int fd, const uint8_t* data, size_t length);

// Reads until length bytes or the end of the file: the bytes read, or -1 with errno set.
long long local_read_full(int fd, uint8_t* data, size_t length);

// 0, or -1 with errno set (the last write-back error shows here).
int local_close(int fd);

// A hint that the block about to be filled is large: where the system has large pages they
// back it, so filling it takes a few hundred page faults instead of one per 4 KiB. The
// block's content and size are unchanged; a system without the hint ignores it.
void local_expect_large_block(void* data, size_t length);

}  // namespace rq
