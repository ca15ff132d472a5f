#include "platform/zip_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crypto/utf8.h"

namespace vellumo {

zipFile OpenZipForWriting(const std::wstring& path) {
  // The archive holds the plaintext until it is encrypted: readable by its
  // owner alone from the start (minizip's own create keeps a file's mode).
  const std::string name = ToUtf8(path);
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  const bool ownerOnly = ::fchmod(fd, 0600) == 0;
  ::close(fd);
  return ownerOnly ? zipOpen64(name.c_str(), APPEND_STATUS_CREATE) : nullptr;
}

unzFile OpenZipForReading(const std::wstring& path) {
  return unzOpen64(ToUtf8(path).c_str());
}

}  // namespace vellumo
