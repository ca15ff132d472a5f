// The file seam on Windows: wide paths straight to the W functions.
#include <windows.h>
#include <aclapi.h>

#include "platform/file_system.h"
#include "platform/owners_win32.h"

namespace vellumo {
namespace {

HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

// A reparse point that names another place (a symbolic link, a junction), as
// opposed to one that only keeps the data elsewhere (cloud files, dedup).
bool IsLinkReparsePoint(DWORD attributes, DWORD reparseTag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparseTag);
}

// Gives `file` the access control list of `model` (its explicit entries, and
// whether it is protected from inheritance: the inherited ones come again from
// the folder), and its owner and group where the process may set them. Best
// effort: a volume without security (FAT) has nothing to keep.
void CopySecurity(const std::wstring& model, const std::wstring& file) {
  PACL dacl = nullptr;
  PSID owner = nullptr, group = nullptr;
  UniqueLocal descriptor;
  if (GetNamedSecurityInfoW(model.c_str(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                            &owner, &group, &dacl, nullptr,
                            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive())) != ERROR_SUCCESS) {
    return;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
  const SECURITY_INFORMATION protection =
      (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION;
  std::wstring name = file;  // the call wants a writable string
  if (SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | protection | OWNER_SECURITY_INFORMATION |
                                GROUP_SECURITY_INFORMATION,
                            owner, group, dacl, nullptr) != ERROR_SUCCESS) {
    // Giving a file to another owner takes a privilege; the list alone does not.
    SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | protection, nullptr, nullptr,
                          dacl, nullptr);
  }
}

bool ToSystemTime(const FILETIME& utc, LocalTime& time) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return false;
  time = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return true;
}

}  // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = INVALID_HANDLE_VALUE;
  }
  return *this;
}

Status FileHandle::OpenReadExclusive(const std::wstring& path) {
  Close();
  handle_ = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return is_open() ? Status() : Status::LastOsError();
}

Status FileHandle::CreateForWrite(const std::wstring& path) {
  Close();
  handle_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return is_open() ? Status() : Status::LastOsError();
}

bool FileHandle::is_open() const { return AsHandle(handle_) != INVALID_HANDLE_VALUE; }

int64_t FileHandle::Read(void* buffer, size_t length) {
  if (!is_open()) {
    error_ = Status(StatusCode::kIoError, ERROR_INVALID_HANDLE);
    return -1;
  }
  size_t got = 0;
  while (got < length) {
    DWORD want = static_cast<DWORD>(length - got > 0x40000000 ? 0x40000000 : length - got);
    DWORD n = 0;
    if (!ReadFile(AsHandle(handle_), static_cast<char*>(buffer) + got, want, &n, nullptr)) {
      error_ = Status::LastOsError();
      return -1;
    }
    if (n == 0) break;
    got += n;
  }
  return static_cast<int64_t>(got);
}

void FileHandle::ForgetRead(uint64_t) {
  // Nothing to do: a file opened for a sequential scan has its cache dropped
  // behind the reads by the system.
}

Status FileHandle::Write(const void* buffer, size_t length) {
  if (!is_open()) return Status(StatusCode::kIoError, ERROR_INVALID_HANDLE);
  const char* p = static_cast<const char*>(buffer);
  while (length > 0) {
    DWORD want = static_cast<DWORD>(length > 0x40000000 ? 0x40000000 : length);
    DWORD n = 0;
    if (!WriteFile(AsHandle(handle_), p, want, &n, nullptr)) return Status::LastOsError();
    if (n == 0) return Status(StatusCode::kNoSpace, ERROR_DISK_FULL);
    p += n;
    length -= n;
  }
  return Status();
}

Status FileHandle::Seek(uint64_t offset) {
  if (!is_open()) return Status(StatusCode::kIoError, ERROR_INVALID_HANDLE);
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN) ? Status() : Status::LastOsError();
}

int64_t FileHandle::Size() const {
  LARGE_INTEGER size;
  if (!is_open()) {
    error_ = Status(StatusCode::kIoError, ERROR_INVALID_HANDLE);
    return -1;
  }
  if (!GetFileSizeEx(AsHandle(handle_), &size)) {
    error_ = Status::LastOsError();
    return -1;
  }
  return size.QuadPart;
}

Status FileHandle::Preallocate(uint64_t length) {
  // NTFS gives the file its clusters with its length; the bytes not yet
  // written read as zeros and are not written twice.
  return SetLength(length);
}

Status FileHandle::SetLength(uint64_t length) {
  if (!is_open()) return Status(StatusCode::kIoError, ERROR_INVALID_HANDLE);
  FILE_END_OF_FILE_INFO end;
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(AsHandle(handle_), FileEndOfFileInfo, &end, sizeof end) ? Status()
                                                                                             : Status::LastOsError();
}

Status FileHandle::Sync() {
  if (!is_open()) return Status(StatusCode::kIoError, ERROR_INVALID_HANDLE);
  return FlushFileBuffers(AsHandle(handle_)) ? Status() : Status::LastOsError();
}

Status FileHandle::Close() {
  if (!is_open()) return Status();
  Status status = CloseHandle(AsHandle(handle_)) ? Status() : Status::LastOsError();
  handle_ = INVALID_HANDLE_VALUE;
  return status;
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsSymbolicLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // The listing carries the reparse tag; the attributes alone do not.
  WIN32_FIND_DATAW fd;
  UniqueFind find(FindFirstFileW(path.c_str(), &fd));
  return find && IsLinkReparsePoint(fd.dwFileAttributes, fd.dwReserved0);
}

bool IsFolder(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return -1;
  }
  return static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
}

Status ListFolder(const std::wstring& folder, std::vector<DirEntry>& entries) {
  WIN32_FIND_DATAW fd;
  UniqueFind find(FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &fd));
  if (!find) return Status::LastOsError();
  entries.clear();
  do {
    if (wcscmp(fd.cFileName, L".") == 0 || wcscmp(fd.cFileName, L"..") == 0) continue;
    DirEntry e;
    e.name = fd.cFileName;
    // A junction or a folder link is not walked into: it may lead out of the
    // selection or round in a loop.
    e.isLink = IsLinkReparsePoint(fd.dwFileAttributes, fd.dwReserved0);
    e.isFolder = !e.isLink && (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) e.size = (uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow;
    entries.push_back(std::move(e));
  } while (FindNextFileW(find.get(), &fd));
  return Status();
}

bool CreateOneFolder(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != 0; }

bool CreateFolders(const std::wstring& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == L'\\' || path[pos] == L'/') {
      std::wstring part = path.substr(0, pos);
      if (part.size() == 2 && part[1] == L':') continue;  // a drive
      if (!IsFolder(part) && !CreateOneFolder(part) && !IsFolder(part)) return false;
    }
  }
  return true;
}

uint32_t GetAttributes(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a == INVALID_FILE_ATTRIBUTES ? UINT32_MAX : a;
}

bool SetAttributes(const std::wstring& path, uint32_t attributes) {
  DWORD keep = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  return SetFileAttributesW(path.c_str(), keep ? keep : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool SetNormalAttributes(const std::wstring& path) { return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0; }

bool GetLastWriteTime(const std::wstring& path, LocalTime& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) && ToSystemTime(data.ftLastWriteTime, time);
}

bool SetLastWriteTime(const std::wstring& path, const LocalTime& time) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(time.year);
  st.wMonth = static_cast<WORD>(time.month);
  st.wDay = static_cast<WORD>(time.day);
  st.wHour = static_cast<WORD>(time.hour);
  st.wMinute = static_cast<WORD>(time.minute);
  st.wSecond = static_cast<WORD>(time.second);
  FILETIME local, utc;
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
  // A read-only file cannot be opened for writing its times; lift the flag meanwhile.
  DWORD attrs = GetFileAttributesW(path.c_str());
  bool readOnly = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY);
  if (readOnly) SetFileAttributesW(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
  bool ok = false;
  {
    UniqueFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ok = file && SetFileTime(file.get(), nullptr, nullptr, &utc);
  }
  if (readOnly) SetFileAttributesW(path.c_str(), attrs);
  return ok;
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

bool DeleteFilePath(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool CopyFilePath(const std::wstring& from, const std::wstring& to, bool failIfExists) {
  return CopyFileW(from.c_str(), to.c_str(), failIfExists) != 0;
}

bool SyncFolder(const std::wstring&) { return true; }

Status ReplaceFileAtomically(const std::wstring& from, const std::wstring& to, FolderSync) {
  // MoveFileEx refuses a read-only target on Windows; the caller has cleared
  // the attributes, but make sure.
  DWORD attrs = GetFileAttributesW(to.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(to.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
  }
  // The user's permissions on the file go on to its new form; a move keeps
  // the list of the moved file, which would otherwise be the folder's default.
  if (attrs != INVALID_FILE_ATTRIBUTES) CopySecurity(to, from);
  // Written through: the move is on the device when the call returns.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Status::LastOsError();
  }
  return Status();
}

Status MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return Status::LastOsError();
  return Status();
}

}  // namespace vellumo
