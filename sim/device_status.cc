#include "device_status.h"

#include <cerrno>

namespace rq::sim {

int status_for_errno(int error) {
  switch (error) {
    case ENOENT: return kStatusMissing;
    case EEXIST: return kStatusExists;
    case ENOTEMPTY:
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP: return kStatusAccess;
    case ENOTDIR: return kStatusInvalidPath;
    case ENAMETOOLONG: return kStatusPathTooLong;
    case EINVAL: return kStatusInvalidParameter;
    default: return kStatusFsError;
  }
}

}  // namespace rq::sim
