// The end of a mount: every dirty file sent within the flush deadline, and what could not
// be sent kept in the cache directory and named in the log.
#pragma once

#include "mount/mount_context.h"

namespace rq::mount {

// Sends every dirty file, waiting for the link while the deadline (steady clock) allows.
// Returns the number of files still unsent.
int send_all_dirty(MountContext& m, int64_t deadline_ms);

// Moves every dirty file's cache file into unsent/ and names each in the log. Safe to call
// from the signal thread while an upload runs: the upload reads through its descriptor.
// Returns the number of files kept.
int keep_all_unsent(MountContext& m);

}  // namespace rq::mount
