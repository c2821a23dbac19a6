// What the FUSE operations share: the mount behind libfuse's private data, the handle
// behind a file handle, and the local state of a path the mount has open or has not sent.
#pragma once

#include <fuse.h>

#include <string>

#include "mount/mount_context.h"

namespace rq::mount {

MountContext& ctx();
Handle* handle_of(const fuse_file_info* fi);
// A new handle owned by the mount, as the value for fi->fh; and its end at a release.
uint64_t keep_handle(MountContext& m, Handle h);
void drop_handle(MountContext& m, const fuse_file_info* fi);

// The entry of a path the mount has open, dirty or being sent: its local state wins over
// the device's (the device may not have it yet).
FileRef local_entry(MountContext& m, const std::string& path);
// A file's attributes from its entry: the local size, the record's permissions if known.
NodeInfo info_of_entry(MountContext& m, const FileRef& f);
// The entry's path now (empty once unlinked).
std::string path_of(MountContext& m, const FileRef& f);
// Records a local write's time as the file's time.
void touch(MountContext& m, const std::string& path);

// Adds open, create, read, write, flush, fsync, release and truncate.
void add_file_operations(fuse_operations& ops);

}  // namespace rq::mount
