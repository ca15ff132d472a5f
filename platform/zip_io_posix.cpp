#include "platform/zip_io.h"

#include "crypto/utf8.h"

namespace vellumo {

zipFile OpenZipForWriting(const std::wstring& path) {
  return zipOpen64(ToUtf8(path).c_str(), APPEND_STATUS_CREATE);
}

unzFile OpenZipForReading(const std::wstring& path) {
  return unzOpen64(ToUtf8(path).c_str());
}

}  // namespace vellumo
