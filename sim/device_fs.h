// The simulated device's file system: a host directory (the root) seen through device paths.
//
// Every operation resolves its device path (device_path.h) against the session's current
// directory and acts on the last component with an *at() call on its parent's descriptor,
// never following a symbolic link: links inside the root are treated as inaccessible
// (status 3) and are not listed. Functions return 0 (or a length) on success and the
// negated device status on failure.
//
// Choices where a real device would have its own answer:
// - cd with an empty path goes to "/"; ls with an empty path lists the current directory;
//   the other commands refuse an empty path (30).
// - A path that names a file where a directory is needed gives 30; a missing component 9.
// - rm removes a file or an empty directory; a non-empty directory gives 3, "/" gives 5.
// - mv and cp never replace: an existing destination gives 7. cp copies regular files only
//   (a directory gives 5). put replaces an existing file but not a directory (7).
// - Uploads and copies are written to a temporary file in the destination directory and
//   renamed into place when complete, so a broken transfer never leaves a partial file. The
//   temporary name starts with byte 0x01, which no device path may hold and no listing shows.
//   With --put-in-place, put instead writes straight into its target, as a real device may:
//   the old content is gone from the start, and a failure part-way leaves a partial file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_path.h"
#include "listing.h"

namespace rq::sim {

// Largest file the device handles: sizes travel as signed 32-bit values.
constexpr int64_t kMaxDeviceFileSize = 2147483647;

// Uploads and copies are written under this name first. Byte 0x01 cannot appear in a device
// path, so no user file can have it.
constexpr const char* kUploadPrefix = "\x01upload-";

struct DeviceFs {
  int root_fd = -1;  // the root directory, opened by the caller
  char cwd[kMaxDevicePath + 1] = "/";
  unsigned temp_serial = 0;
};

void fs_reset_session(DeviceFs& fs);  // back to "/" for a new shell

int fs_change_dir(DeviceFs& fs, const char* path);
int fs_make_dir(DeviceFs& fs, const char* path);
int fs_remove(DeviceFs& fs, const char* path);
int fs_rename(DeviceFs& fs, const char* from, const char* to);
// Copies through `buffer` (any size), never holding the file whole.
int fs_copy(DeviceFs& fs, const char* from, const char* to, uint8_t* buffer, size_t size);
// Removes everything below the root (not the root itself) and returns to "/".
int fs_format(DeviceFs& fs);

// Checks that path names a regular file starting with the ELF magic bytes; writes the
// resolved path to resolved (kMaxDevicePath + 1 bytes). 9 missing, 5 not an ELF file.
int fs_check_launchable(DeviceFs& fs, const char* path, char* resolved);

// Writes the ls reply for path (file or directory form) into reply (kMaxPayload bytes);
// returns its length. An empty path lists the current directory.
int fs_list(DeviceFs& fs, const char* path, ListingBuilder& builder, uint8_t* reply);

// Opens a regular file for reading; returns the descriptor and its size in *size.
int fs_open_read(DeviceFs& fs, const char* path, int64_t* size);

// Reads up to length bytes, fewer only at the end of the file. Returns the count or the
// negated status.
int fs_read_full(int fd, uint8_t* buffer, size_t length);

// How an upload reaches its target.
enum class UploadMode {
  kAtomic,   // into a temporary file, renamed over the target when complete
  kInPlace,  // straight into the target, truncated first; a failure leaves what was written
};

// An upload under way: the file being written and, for an atomic one, where it goes when
// complete.
struct Upload {
  int dir_fd = -1;
  int fd = -1;
  bool in_place = false;
  char name[kMaxDevicePath + 1];
  char temp[32];
};

// Opens the file an upload to path writes: a temporary one, or with kInPlace the target
// itself (created, or emptied). 9 when the directory is missing, 7 when path is a directory.
int fs_upload_begin(DeviceFs& fs, const char* path, Upload& up,
                    UploadMode mode = UploadMode::kAtomic);
int fs_upload_write(Upload& up, const uint8_t* data, size_t length);
// Puts the complete file in place: renames a temporary over the target (replacing an
// existing file), or closes the target written in place.
int fs_upload_commit(Upload& up);
// Ends an upload that did not complete: removes the temporary file, or leaves the target
// written in place as far as it got. Safe to call on a finished or never-started upload.
void fs_upload_abort(Upload& up);

}  // namespace rq::sim
