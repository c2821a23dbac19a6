// The table of FUSE operations the mount serves; libfuse's private data is the MountContext.
#pragma once

#define FUSE_USE_VERSION 312
#include <fuse.h>

#include "mount/mount_context.h"

namespace rq::mount {

fuse_operations mount_operations();

}  // namespace rq::mount
