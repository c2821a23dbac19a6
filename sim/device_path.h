// Device paths and how they reach host files.
//
// A device path is '/'-separated, absolute or relative to the session's current directory.
// It is first resolved by text alone: empty and "." components vanish, ".." drops the last
// component and may not climb above "/", and the result is a canonical absolute path such as
// "/docs/a.txt" of at most kMaxDevicePath bytes. Components holding '\\', NUL or the listing's
// type bytes 0x01/0x02 are refused, so no name the device creates can break a listing.
//
// The canonical path is then walked from the root directory's descriptor one component at a
// time with openat(O_NOFOLLOW | O_DIRECTORY): a symbolic link anywhere in the path is never
// followed, so nothing outside the root can be reached, however the path was written and
// whatever links the host tree holds. The last component is handed to the caller together
// with the descriptor of its directory, for the *at() call that acts on it.
#pragma once

#include <cstddef>

#include "link/protocol.h"  // kMaxDevicePath: the longest resolved path, zero not counted

namespace rq::sim {

// Resolves `length` bytes of `path` against `cwd` (itself a resolved path) into `out`
// (kMaxDevicePath + 1 bytes). Returns the resolved length, or -kStatusInvalidPath
// (".." above the root, a forbidden byte) or -kStatusPathTooLong.
int resolve_device_path(const char* cwd, const char* path, size_t length, char* out);

// Opens the directory holding the last component of a resolved path. Returns the
// descriptor (the caller closes it) and points *leaf at the last component inside
// `resolved`; for "/" itself *leaf is "" and the descriptor is the root. Returns
// -kStatusMissing, -kStatusInvalidPath (a component is a file), -kStatusAccess (a
// component is a symbolic link or not searchable) or -kStatusFsError.
int open_parent_dir(int root_fd, const char* resolved, const char** leaf);

// Opens a resolved path that must be a directory (read-only, for *at() calls and listing).
// Returns the descriptor or the negated status: as open_parent_dir, and -kStatusInvalidPath
// when the path names something other than a directory.
int open_device_dir(int root_fd, const char* resolved);

}  // namespace rq::sim
