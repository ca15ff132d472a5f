#pragma once
// The core's one way to the file system. Paths are wide strings (UTF-16 on
// Windows, converted to UTF-8 only at the POSIX calls). Windows and POSIX each
// have one implementation file: file_system_win32.cpp, file_system_posix.cpp;
// the path text helpers are in file_path.cpp. Calls whose failure a user may
// want explained return a Status.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"

namespace vellumo {

#ifdef _WIN32
constexpr wchar_t kPathSeparator = L'\\';
#else
constexpr wchar_t kPathSeparator = L'/';
#endif

// Windows takes either slash in a path; POSIX only '/'.
constexpr bool IsPathSeparator(wchar_t c) {
#ifdef _WIN32
  return c == L'\\' || c == L'/';
#else
  return c == L'/';
#endif
}

// DOS attribute bits, as stored in ZIP entries and used by Windows.
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
};

// A moment in local time, as DOS dates and ZIP entries hold it.
struct LocalTime {
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// An open file; closed when the object goes.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens an existing file for reading with sharing denied to everyone else
  // (on POSIX: an advisory exclusive lock).
  Status OpenReadExclusive(const std::wstring& path);
  // Creates or truncates a file for writing; others may read it meanwhile.
  Status CreateForWrite(const std::wstring& path);

  bool is_open() const;
  // Bytes read (0 at the end), or -1 on a read error (then error() says why).
  int64_t Read(void* buffer, size_t length);
  // The `length` bytes just read (up to the position) are not to be read
  // again: the system may drop them from its cache now. A file about to be
  // replaced otherwise has all its cache dropped inside the replace, at once
  // (a quarter of a second per GiB on Linux).
  void ForgetRead(uint64_t length);
  // Writes all bytes or reports failure (disk full, device error).
  Status Write(const void* buffer, size_t length);
  Status Seek(uint64_t offset);
  // Length of the open file, or -1 (then error() says why).
  int64_t Size() const;
  // Gives a file just created for writing its final `length` before the
  // writes that fill it, where the file system gains from that (Windows: the
  // space is found once instead of write by write, and a full disk shows
  // before anything is written). A run that writes less cuts it back with
  // SetLength.
  Status Preallocate(uint64_t length);
  // Cuts the file to `length` bytes (or lengthens it with zeros); the
  // position stays where it is.
  Status SetLength(uint64_t length);
  // Flushes written data to the device.
  Status Sync();
  // Closes; a failure is a late write that did not reach the device.
  Status Close();
  // Why the last Read or Size that failed did so.
  const Status& error() const { return error_; }

 private:
  mutable Status error_;
#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
  int fd_ = -1;
  // Written bytes not yet handed to the device (see Write).
  uint64_t written_ = 0, writebackFrom_ = 0;
#endif
};

struct DirEntry {
  std::wstring name;  // without the folder
  bool isFolder = false;  // a real folder: never a link to one
  bool isLink = false;    // a link (a symbolic link, a junction), whatever it points to
  uint64_t size = 0;      // bytes of a file, as the listing saw it
};

bool PathExists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
// Bytes of the file at `path` (a link itself on POSIX), or -1.
int64_t FileSizeOf(const std::wstring& path);
// True for a link itself: a symbolic link on POSIX; on Windows a reparse point
// that names another place (a symbolic link or a junction), not one that only
// stores the file elsewhere (cloud placeholders, deduplicated files).
bool IsSymbolicLink(const std::wstring& path);
// Entries of a folder except "." and "..", in the order the system returns them
// (hidden and system files included). A link is listed as a link, never as a
// folder, so no walk goes through it by mistake. Fails when the folder cannot
// be read.
Status ListFolder(const std::wstring& folder, std::vector<DirEntry>& entries);
// Creates one folder level; false when it could not (for instance it exists).
bool CreateOneFolder(const std::wstring& path);
// Creates every missing folder of `path` (both separators count on Windows).
bool CreateFolders(const std::wstring& path);

// DOS attributes; on POSIX read-only maps to the owner write bit, the others are
// not kept. Returns false / UINT32_MAX on failure.
uint32_t GetAttributes(const std::wstring& path);
bool SetAttributes(const std::wstring& path, uint32_t attributes);
// Clears read-only, hidden and system.
bool SetNormalAttributes(const std::wstring& path);

bool GetLastWriteTime(const std::wstring& path, LocalTime& time);
bool SetLastWriteTime(const std::wstring& path, const LocalTime& time);
LocalTime CurrentLocalTime();

bool DeleteFilePath(const std::wstring& path);
bool CopyFilePath(const std::wstring& from, const std::wstring& to, bool failIfExists);
// Puts `from` in the place of `to` in one step, replacing it, so that there is
// never a moment without a file named `to`; the data is on the device first.
// `from` first takes over who may use the `to` it replaces: on POSIX its
// permission bits, and its owner and group as far as the process may set them;
// on Windows its access control list (explicit entries, protection from
// inheritance), and its owner and group where the process may.
// With FolderSync::kLater the new name is on the device only once the caller
// has called SyncFolder on the folder (a crash before that leaves the old
// file whole), so a walk through many files syncs each folder once.
enum class FolderSync { kNow, kLater };
Status ReplaceFileAtomically(const std::wstring& from, const std::wstring& to, FolderSync sync);
// Puts a folder's names on the device (a no-op where a move is written
// through, as on Windows).
bool SyncFolder(const std::wstring& folder);

// --- Writing a file through a temporary file beside it ---
// The one temporary name of the program: the full path with this appended
// (no separator, no dot), so the final rename never crosses volumes and a
// stale one of an interrupted run is recognised and overwritten.
constexpr wchar_t kTemporarySuffix[] = L"writebyqmr";
std::wstring TemporaryPathFor(const std::wstring& path);
// Creates (truncating) the temporary file `tempPath`. A link found at that name
// was not left by us and is removed, so nothing is written through it; a
// read-only leftover of an interrupted run has its attributes cleared. On POSIX
// the file is readable by its owner alone (it may hold plaintext) until it
// replaces its target.
Status CreateTemporary(FileHandle& out, const std::wstring& tempPath);
// Puts the finished `tempPath` in the place of `target`. Windows refuses to
// replace a read-only (and CreateFile a hidden or system) file, so the
// target's attributes are cleared first, and given back when the replacement
// fails, which also removes the temporary file; the replaced file has none of
// them.
Status ReplaceWithTemporary(const std::wstring& tempPath, const std::wstring& target, FolderSync sync);

// Puts `from` at the name `to` unless something (a file, a folder, a link) is
// there already: then nothing moves and the status is kAlreadyExists.
Status MoveWithoutReplacing(const std::wstring& from, const std::wstring& to);

// --- Path text (pure string work, file_path.cpp) ---
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// Position of the last separator, or npos.
size_t LastSeparator(const std::wstring& path);
std::wstring FileNamePart(const std::wstring& path);  // after the last separator
// The folder holding `path`: "." for a bare name, the root for a name in it.
std::wstring ParentFolder(const std::wstring& path);
// Where the extension of a file name begins: its last ".", unless that is the
// name's first character (".env" has no extension, "a.tar.gz" has ".gz");
// npos when it has none.
size_t ExtensionStart(const std::wstring& name);
// `path` with " (number)" before the extension of its file name:
// "D:\docs\report (2).szip", "/home/u/.env (3)".
std::wstring NumberedName(const std::wstring& path, int number);
// How many numbered names FreeName tries before it gives up.
constexpr int kMaxNumberedNames = 999;
// `path` itself when nothing is there (not even a dangling link), else the
// first free NumberedName from 2 on; empty when all of them are taken.
std::wstring FreeName(const std::wstring& path);
// True for a name Windows takes for a device wherever it stands: CON, PRN,
// AUX, NUL, COM1-9, LPT1-9 (and with superscript digits), CONIN$, CONOUT$,
// in any case, with any extension and with trailing dots or spaces ("nul.txt",
// "CON .", "aux.tar.gz").
bool IsReservedDeviceName(const std::wstring& name);

}  // namespace vellumo
