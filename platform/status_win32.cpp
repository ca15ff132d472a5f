// GetLastError to the seam's codes.
#include <windows.h>

#include "platform/status.h"

namespace vellumo {

Status Status::FromOsError(int osError) {
  switch (static_cast<DWORD>(osError)) {
    case 0: return Status(StatusCode::kIoError, 0);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return Status(StatusCode::kNotFound, osError);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return Status(StatusCode::kNoAccess, osError);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Status(StatusCode::kInUse, osError);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE: return Status(StatusCode::kNoSpace, osError);
    case ERROR_DIRECTORY: return Status(StatusCode::kNotAFile, osError);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return Status(StatusCode::kAlreadyExists, osError);
    default: return Status(StatusCode::kIoError, osError);
  }
}

Status Status::LastOsError() { return FromOsError(static_cast<int>(GetLastError())); }

}  // namespace vellumo
