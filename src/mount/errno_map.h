// The one table from a device status to the errno a FUSE operation returns. The operations
// refine it with what the mount knows (unlink of a directory gives EISDIR before anything is
// sent, a refused rmdir of a directory with entries ENOTEMPTY). The man page's ERRORS section
// shows the same table.
#pragma once

namespace rq::mount {

// Negated, as FUSE wants it: 0 for 0, kStatusMissing ENOENT, kStatusExists EEXIST,
// kStatusPathTooLong ENAMETOOLONG, kStatusNoInodes ENOSPC, kStatusAccess EACCES; anything
// else, and a lost link (kCodeLinkLost), EIO.
int errno_for_status(int code);

}  // namespace rq::mount
