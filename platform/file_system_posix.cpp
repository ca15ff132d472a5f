// The file seam on POSIX: wide paths become UTF-8 at each call.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "crypto/utf8.h"
#include "platform/file_system.h"

namespace vellumo {
namespace {

bool StatPath(const std::wstring& path, struct stat& st) { return ::stat(ToUtf8(path).c_str(), &st) == 0; }

}  // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(other.fd_), written_(other.written_), writebackFrom_(other.writebackFrom_) {
  other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    written_ = other.written_;
    writebackFrom_ = other.writebackFrom_;
    other.fd_ = -1;
  }
  return *this;
}

Status FileHandle::OpenReadExclusive(const std::wstring& path) {
  Close();
  int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::LastOsError();
  struct stat st;
  Status status;
  if (::fstat(fd, &st) != 0) {
    status = Status::LastOsError();
  } else if (!S_ISREG(st.st_mode)) {
    // A folder opens for reading on POSIX but is no file to transform.
    status = Status(StatusCode::kNotAFile, S_ISDIR(st.st_mode) ? EISDIR : 0);
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    status = Status::LastOsError();
  }
  if (!status) {
    ::close(fd);
    return status;
  }
  fd_ = fd;
  return status;
}

Status FileHandle::CreateForWrite(const std::wstring& path) {
  Close();
  written_ = writebackFrom_ = 0;
  // Never written through a link put in the way. Owner-only from the first
  // byte, whatever the umask, and also when an older file of this name is
  // truncated (its mode would stay): what is written here may be plaintext.
  const int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Status::LastOsError();
  if (::fchmod(fd, 0600) != 0) {
    const Status status = Status::LastOsError();
    ::close(fd);
    return status;
  }
  fd_ = fd;
  return Status();
}

bool FileHandle::is_open() const { return fd_ >= 0; }

int64_t FileHandle::Read(void* buffer, size_t length) {
  if (fd_ < 0) {
    error_ = Status(StatusCode::kIoError, EBADF);
    return -1;
  }
  size_t got = 0;
  while (got < length) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error_ = Status::LastOsError();
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

void FileHandle::ForgetRead(uint64_t length) {
  const off_t position = fd_ < 0 ? -1 : ::lseek(fd_, 0, SEEK_CUR);
  if (position < 0 || length == 0) return;
  const off_t from = position - static_cast<off_t>(std::min<uint64_t>(length, static_cast<uint64_t>(position)));
  ::posix_fadvise(fd_, from, position - from, POSIX_FADV_DONTNEED);  // only a hint: nothing to report
}

Status FileHandle::Write(const void* buffer, size_t length) {
  if (fd_ < 0) return Status(StatusCode::kIoError, EBADF);
  const char* p = static_cast<const char*>(buffer);
  while (length > 0) {
    ssize_t n = ::write(fd_, p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::LastOsError();
    if (n == 0) return Status(StatusCode::kNoSpace, ENOSPC);
    p += n;
    length -= static_cast<size_t>(n);
    written_ += static_cast<uint64_t>(n);
  }
#ifdef SYNC_FILE_RANGE_WRITE
  // Large files: start the device writes while the rest is still being made,
  // so the final Sync has little left to wait for.
  constexpr uint64_t kWritebackStep = 8 << 20;
  if (written_ - writebackFrom_ >= kWritebackStep) {
    ::sync_file_range(fd_, static_cast<off_t>(writebackFrom_), static_cast<off_t>(written_ - writebackFrom_),
                      SYNC_FILE_RANGE_WRITE);
    writebackFrom_ = written_;
  }
#endif
  return Status();
}

Status FileHandle::Seek(uint64_t offset) {
  if (fd_ < 0) return Status(StatusCode::kIoError, EBADF);
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) return Status::LastOsError();
  return Status();
}

int64_t FileHandle::Size() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error_ = fd_ < 0 ? Status(StatusCode::kIoError, EBADF) : Status::LastOsError();
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

Status FileHandle::Preallocate(uint64_t) {
  // Nothing to gain here: ext4 finds the space for a file written in one
  // sequence in large extents by itself (a 1 GiB file took as long with
  // fallocate as without), and tmpfs would zero every page of it up front
  // (0.23 s per 512 MiB) for the writes to fill again.
  return fd_ >= 0 ? Status() : Status(StatusCode::kIoError, EBADF);
}

Status FileHandle::SetLength(uint64_t length) {
  if (fd_ < 0) return Status(StatusCode::kIoError, EBADF);
  return ::ftruncate(fd_, static_cast<off_t>(length)) == 0 ? Status() : Status::LastOsError();
}

Status FileHandle::Sync() {
  if (fd_ < 0) return Status(StatusCode::kIoError, EBADF);
  return ::fsync(fd_) == 0 ? Status() : Status::LastOsError();
}

Status FileHandle::Close() {
  if (fd_ < 0) return Status();
  Status status = ::close(fd_) == 0 ? Status() : Status::LastOsError();
  fd_ = -1;
  return status;
}

bool PathExists(const std::wstring& path) {
  struct stat st;
  return StatPath(path, st);
}

bool IsSymbolicLink(const std::wstring& path) {
  struct stat st;
  return ::lstat(ToUtf8(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsFolder(const std::wstring& path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

int64_t FileSizeOf(const std::wstring& path) {
  struct stat st;
  if (::lstat(ToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

Status ListFolder(const std::wstring& folder, std::vector<DirEntry>& entries) {
  DIR* dir = ::opendir(ToUtf8(folder).c_str());
  if (!dir) return Status::LastOsError();
  entries.clear();
  while (struct dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirEntry entry;
    FromUtf8(e->d_name, entry.name);  // a name that is not UTF-8 shows U+FFFD
    std::wstring full = JoinPath(folder, entry.name);
    // A name that is not UTF-8 cannot be reached through its wide form; it
    // stays in the list so that the walk reports it instead of passing it by.
    struct stat st;
    if (::lstat(ToUtf8(full).c_str(), &st) == 0) {
      entry.isFolder = S_ISDIR(st.st_mode);
      entry.isLink = S_ISLNK(st.st_mode);
      if (S_ISREG(st.st_mode)) entry.size = static_cast<uint64_t>(st.st_size);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return Status();
}

bool CreateOneFolder(const std::wstring& path) { return ::mkdir(ToUtf8(path).c_str(), 0777) == 0; }

bool CreateFolders(const std::wstring& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == L'/') {
      std::wstring part = path.substr(0, pos);
      if (!IsFolder(part) && !CreateOneFolder(part) && !IsFolder(part)) return false;
    }
  }
  return true;
}

uint32_t GetAttributes(const std::wstring& path) {
  struct stat st;
  if (!StatPath(path, st)) return UINT32_MAX;
  uint32_t attrs = S_ISDIR(st.st_mode) ? uint32_t{kAttrDirectory} : 0u;
  if (!(st.st_mode & S_IWUSR)) attrs |= kAttrReadOnly;
  return attrs;
}

bool SetAttributes(const std::wstring& path, uint32_t attributes) {
  struct stat st;
  if (!StatPath(path, st)) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
  return ::chmod(ToUtf8(path).c_str(), mode) == 0;
}

bool SetNormalAttributes(const std::wstring& path) { return SetAttributes(path, 0); }

bool GetLastWriteTime(const std::wstring& path, LocalTime& time) {
  struct stat st;
  if (!StatPath(path, st)) return false;
  struct tm tm;
  if (!::localtime_r(&st.st_mtime, &tm)) return false;
  time = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
}

bool SetLastWriteTime(const std::wstring& path, const LocalTime& time) {
  struct tm tm {};
  tm.tm_year = time.year - 1900;
  tm.tm_mon = time.month - 1;
  tm.tm_mday = time.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  tm.tm_isdst = -1;
  time_t t = ::mktime(&tm);
  if (t == static_cast<time_t>(-1)) return false;
  struct timespec times[2] = {{t, 0}, {t, 0}};
  return ::utimensat(AT_FDCWD, ToUtf8(path).c_str(), times, 0) == 0;
}

LocalTime CurrentLocalTime() {
  time_t now = ::time(nullptr);
  struct tm tm;
  ::localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

bool DeleteFilePath(const std::wstring& path) { return ::unlink(ToUtf8(path).c_str()) == 0; }

bool CopyFilePath(const std::wstring& from, const std::wstring& to, bool failIfExists) {
  if (failIfExists && PathExists(to)) return false;
  int in = ::open(ToUtf8(from).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = ::open(ToUtf8(to).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    ::close(in);
    return false;
  }
  char buffer[64 * 1024];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(ToUtf8(to).c_str());
  return ok;
}

bool SyncFolder(const std::wstring& folder) {
  int fd = ::open(ToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

Status ReplaceFileAtomically(const std::wstring& from, const std::wstring& to, FolderSync sync) {
  // The caller has synced `from`; rename replaces `to` in one step, and the
  // folder sync makes the new name last through a crash. The replacement keeps
  // the owner, group and permission bits of the file it replaces, so a private
  // file stays private and a shared one stays shared. Only root may give a
  // file away; others keep at least the group where they belong to it.
  // Owner before mode: a change of owner clears the set-id bits.
  struct stat st;
  const std::string fromPath = ToUtf8(from);
  if (StatPath(to, st)) {
    if (::chown(fromPath.c_str(), st.st_uid, st.st_gid) != 0) ::chown(fromPath.c_str(), static_cast<uid_t>(-1), st.st_gid);
    ::chmod(fromPath.c_str(), st.st_mode & 07777);
  }
  if (::rename(fromPath.c_str(), ToUtf8(to).c_str()) != 0) return Status::LastOsError();
  if (sync == FolderSync::kNow) SyncFolder(ParentFolder(to));
  return Status();
}

Status MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) {
  const std::string fromPath = ToUtf8(from), toPath = ToUtf8(to);
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, fromPath.c_str(), AT_FDCWD, toPath.c_str(), RENAME_NOREPLACE) == 0) return Status();
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return Status::LastOsError();
#endif
  // File systems without that flag: a second name cannot replace anything
  // either; where even that is missing (FAT), look first.
  if (::link(fromPath.c_str(), toPath.c_str()) == 0) {
    ::unlink(fromPath.c_str());
    return Status();
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return Status::LastOsError();
  struct stat st;
  if (::lstat(toPath.c_str(), &st) == 0) return Status(StatusCode::kAlreadyExists, EEXIST);
  return ::rename(fromPath.c_str(), toPath.c_str()) == 0 ? Status() : Status::LastOsError();
}

}  // namespace vellumo
