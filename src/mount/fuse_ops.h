// The table of FUSE operations the mount serves; libfuse's private data is the MountContext.
// The build sets FUSE_USE_VERSION (3.12: the loop takes a configuration object).
#pragma once

#include <fuse.h>

#include "mount/mount_context.h"

namespace rq::mount {

fuse_operations mount_operations();

}  // namespace rq::mount
