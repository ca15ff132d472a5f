#include "platform/zip_io.h"

#include <windows.h>

#include <minizip/iowin32.h>

namespace vellumo {

zipFile OpenZipForWriting(const std::wstring& path) {
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  // Opened with CREATE_ALWAYS and no sharing: exclusive writing.
  return zipOpen2_64(path.c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
}

unzFile OpenZipForReading(const std::wstring& path) {
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  return unzOpen2_64(path.c_str(), &functions);
}

}  // namespace vellumo
