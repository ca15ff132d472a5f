#pragma once
// The ZIP layer under packing and unpacking: a plain PKZIP archive on a disk
// file, deflate level 8, entry names with "/" separators stored as bytes of an
// ANSI code page (no UTF-8 flag), DOS times in local time and DOS attributes.
//
// Handles are owned by ArchiveWriter / ArchiveReader; the operations take the
// raw handle, and every operation given a null handle does nothing and returns
// a non-zero code.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "crypto/ansi_codepage.h"
#include "platform/file_system.h"

namespace vellumo {

// Codes returned by the operations (0 is success).
enum ZipResult : int {
  kZipOk = 0,
  kZipNoHandle = -1,      // the handle is null
  kZipBadArgument = -2,   // empty or over-long entry name, index out of range
  kZipSourceError = -3,   // the source file cannot be opened or read
  kZipArchiveError = -4,  // the container library failed (write error, corrupt archive)
  kZipTargetError = -5,   // the target file or its folders cannot be written
  kZipDataError = -6,     // an entry's data does not inflate or its CRC-32 differs
  kZipStopped = -7,       // the writer's data hook asked to stop
};

struct ZipWriter;
struct ZipReader;
struct ZipWriterCloser {
  void operator()(ZipWriter* writer) const;
};
struct ZipReaderCloser {
  void operator()(ZipReader* reader) const;
};
// Closing an owner closes its archive as CloseArchive / CloseReader would.
using ArchiveWriter = std::unique_ptr<ZipWriter, ZipWriterCloser>;
using ArchiveReader = std::unique_ptr<ZipReader, ZipReaderCloser>;

struct ZipEntryInfo {
  std::wstring name;        // as stored: "/" separators, folder entries end in "/"
  uint32_t attributes = 0;  // DOS attributes, kAttrDirectory for folder entries
  LocalTime time;           // last-write time (local), to DOS precision
  uint64_t size = 0;        // uncompressed bytes
};

// Creates `path` for exclusive writing, replacing an existing file. Entry names
// are converted to `codePage`. Null on failure.
ArchiveWriter CreateArchive(const std::wstring& path, unsigned codePage = kSystemAnsiCodePage);
// Told of every block of source data a file entry takes (bytes) and of every
// finished file entry (0 bytes, entryDone); answering false stops the entry
// in hand as a failed one (kZipStopped). For progress and cancel.
using ZipDataHook = std::function<bool(uint64_t bytes, bool entryDone)>;
void SetDataHook(ZipWriter* archive, ZipDataHook hook);
// Appends the whole of `sourcePath` as one file entry named `entryName`
// (backslashes become "/"), stored instead of deflated for names that end in an
// already compressed format's suffix. If reading fails midway the entry is
// closed with a CRC-32 that cannot match, so it never extracts as a whole file.
int AddFileEntry(ZipWriter* archive, const std::wstring& entryName, const std::wstring& sourcePath);
// Appends the folder entry `folderName` + "/", dated now.
int AddFolderEntry(ZipWriter* archive, const std::wstring& folderName);
// Writes the central directory and closes the file; the owner becomes null.
int CloseArchive(ArchiveWriter& archive);

// Opens an existing archive for reading; names are converted from `codePage`.
ArchiveReader OpenArchive(const std::wstring& path, unsigned codePage = kSystemAnsiCodePage);
// Number of entries, or -1 for a null handle.
int GetEntryCount(const ZipReader* archive);
int GetEntry(ZipReader* archive, int index, ZipEntryInfo& entry);
// What ExtractEntry does when a file of the target's name exists already.
enum class ExistingFile {
  kReplace,  // the entry takes its place
  // The file stays. An entry with the same bytes is not written again; one
  // that differs goes to the first free numbered name ("a (2).txt"), checked
  // and taken in one step, so nothing that appears meanwhile is replaced
  // either. kZipTargetError when no numbered name is free.
  kKeep,
};

// Writes entry `index` to `targetPath`, creating missing folders ("/" and "\"
// both separate them). The data goes to the temporary file beside the target
// (TemporaryPathFor), which takes the target's name only when the whole entry
// inflated with the right CRC-32; on failure the temporary file is deleted and
// an existing target stays as it was.
// Then the entry's time and attributes are given to the file. A folder entry
// creates the folder.
int ExtractEntry(ZipReader* archive, int index, const std::wstring& targetPath,
                 ExistingFile existing = ExistingFile::kReplace);
int CloseReader(ArchiveReader& archive);

// False for a name that could leave the folder it is extracted into: empty,
// absolute or rooted ("/x", "\x", "\\server"), with a drive or stream colon
// ("C:x", "a:b"), or with a ".." component (either separator). Components of
// two or more dots and spaces count as ".." too: Windows trims trailing dots and
// spaces, so ".. " names the parent folder. A component that Windows takes for
// a device ("NUL", "aux.txt", "CON.") is refused as well, wherever the archive
// is opened: writing to it reaches the device, not a file.
bool IsSafeEntryName(const std::wstring& name);

}  // namespace vellumo
