#include "mount/errno_map.h"

#include <cerrno>

#include "link/status.h"

namespace rq::mount {

int errno_for_status(int code) {
  switch (code) {
    case kStatusOk: return 0;
    case kStatusMissing: return -ENOENT;
    case kStatusExists: return -EEXIST;
    case kStatusPathTooLong: return -ENAMETOOLONG;
    case kStatusNoInodes: return -ENOSPC;
    case kStatusAccess: return -EACCES;
    default: return -EIO;
  }
}

}  // namespace rq::mount
