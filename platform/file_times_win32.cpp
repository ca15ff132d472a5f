#include <windows.h>

#include "platform/file_times.h"
#include "platform/owners_win32.h"

namespace vellumo {
namespace {

int64_t Ticks(const FILETIME& time) {
  return static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
}

FILETIME FromTicks(int64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return time;
}

}  // namespace

bool ReadFileTimes(const std::wstring& path, FileTimes& times) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  times.modified = Ticks(data.ftLastWriteTime);
  times.created = Ticks(data.ftCreationTime);
  return true;
}

bool ApplyFileTimes(const std::wstring& path, const FileTimes& times) {
  // Only the right to write attributes: a file others read meanwhile, or one
  // marked read-only, still takes its times.
  UniqueFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return false;
  const FILETIME created = FromTicks(times.created);
  const FILETIME modified = FromTicks(times.modified);
  return SetFileTime(file.get(), &created, nullptr, &modified) != 0;
}

}  // namespace vellumo
