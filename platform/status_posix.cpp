// errno to the seam's codes.
#include <cerrno>

#include "platform/status.h"

namespace vellumo {

Status Status::FromOsError(int osError) {
  switch (osError) {
    case 0: return Status(StatusCode::kIoError, 0);
    case ENOENT:
    case ENOTDIR: return Status(StatusCode::kNotFound, osError);
    case EACCES:
    case EPERM:
    case EROFS: return Status(StatusCode::kNoAccess, osError);
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY: return Status(StatusCode::kInUse, osError);
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Status(StatusCode::kNoSpace, osError);
    case EISDIR:
    case ELOOP: return Status(StatusCode::kNotAFile, osError);
    case EEXIST: return Status(StatusCode::kAlreadyExists, osError);
    default: return Status(StatusCode::kIoError, osError);
  }
}

Status Status::LastOsError() { return FromOsError(errno); }

}  // namespace vellumo
