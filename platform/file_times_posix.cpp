#include <fcntl.h>
#include <sys/stat.h>

#include "crypto/utf8.h"
#include "platform/file_times.h"

namespace vellumo {
namespace {

constexpr int64_t kNanosPerSecond = 1000000000;

}  // namespace

bool ReadFileTimes(const std::wstring& path, FileTimes& times) {
  struct stat st;
  if (::lstat(ToUtf8(path).c_str(), &st) != 0) return false;
  times.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
  times.created = 0;
  return true;
}

bool ApplyFileTimes(const std::wstring& path, const FileTimes& times) {
  int64_t seconds = times.modified / kNanosPerSecond;
  int64_t nanos = times.modified % kNanosPerSecond;
  if (nanos < 0) {  // before 1970
    nanos += kNanosPerSecond;
    --seconds;
  }
  const struct timespec both[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), static_cast<long>(nanos)}};
  return ::utimensat(AT_FDCWD, ToUtf8(path).c_str(), both, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace vellumo
