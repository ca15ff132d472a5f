#pragma once
// A file's own times, read before the engine rewrites it and given to the new
// bytes before they take the file's place, so that encrypting or decrypting
// does not make an old file look new. One implementation file per platform:
// file_times_posix.cpp, file_times_win32.cpp.
#include <cstdint>
#include <string>

namespace vellumo {

// In the system's own units and precision (nanoseconds since 1970 on POSIX,
// 100-nanosecond ticks since 1601 on Windows).
struct FileTimes {
  int64_t modified = 0;
  int64_t created = 0;  // Windows only; POSIX has no creation time to set
};

// False when the file's times cannot be read.
bool ReadFileTimes(const std::wstring& path, FileTimes& times);
// Gives `path` (not a link's target) the modification time and, on Windows,
// the creation time of `times`; its access time is left as it is.
bool ApplyFileTimes(const std::wstring& path, const FileTimes& times);

}  // namespace vellumo
