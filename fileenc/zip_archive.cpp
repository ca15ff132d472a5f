#include "fileenc/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "platform/zip_io.h"

namespace vellumo {

struct ZipWriter {
  zipFile zip = nullptr;
  unsigned codePage = kSystemAnsiCodePage;
  ZipDataHook hook;
};

struct ZipReader {
  unzFile zip = nullptr;
  unsigned codePage = kSystemAnsiCodePage;
  std::vector<unz64_file_pos> entries;  // central directory positions, in archive order
};

namespace {

constexpr size_t kBlockSize = 64 * 1024;
constexpr int kDeflateLevel = 8;
// "Made by" host 0 (MS-DOS/FAT, so readers take the low byte of the external
// attributes as DOS attributes), ZIP version 2.0.
constexpr uLong kVersionMadeBy = 20;
constexpr uint32_t kFileAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
// Entries are written without ZIP64 fields unless their sizes might not fit 32
// bits; the margin covers deflate's worst-case growth of incompressible data.
constexpr uint64_t kZip64Threshold = 0xFF000000u;

// Entry names as the archive stores them: "/" separators, bytes of the code page.
bool EncodeName(std::wstring name, unsigned codePage, std::string& bytes) {
  std::replace(name.begin(), name.end(), L'\\', L'/');
  bytes = ToAnsi(name, codePage);
  return !bytes.empty() && bytes.size() <= 0xFFFF;
}

// Formats that are already compressed are stored rather than deflated again.
bool IsStoredName(const std::wstring& name) {
  static const wchar_t* const kSuffixes[] = {L".z", L".zip", L".zoo", L".arc", L".lzh", L".arj", L".gz", L".tgz"};
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  std::wstring suffix = name.substr(dot);
  for (wchar_t& c : suffix) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return std::any_of(std::begin(kSuffixes), std::end(kSuffixes),
                     [&](const wchar_t* s) { return suffix == s; });
}

// DOS date and time; times outside 1980..2107 are clamped to the nearest end.
uLong ToDosDateTime(const LocalTime& t) {
  if (t.year < 1980) return (1u << 21) | (1u << 16);
  if (t.year > 2107) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  return (static_cast<uLong>(t.year - 1980) << 25) | (static_cast<uLong>(t.month) << 21) |
         (static_cast<uLong>(t.day) << 16) | (static_cast<uLong>(t.hour) << 11) |
         (static_cast<uLong>(t.minute) << 5) | static_cast<uLong>(t.second / 2);
}

LocalTime FromDosDateTime(uLong dos) {
  LocalTime t;
  t.year = 1980 + static_cast<int>((dos >> 25) & 0x7F);
  t.month = static_cast<int>((dos >> 21) & 0x0F);
  t.day = static_cast<int>((dos >> 16) & 0x1F);
  t.hour = static_cast<int>((dos >> 11) & 0x1F);
  t.minute = static_cast<int>((dos >> 5) & 0x3F);
  t.second = static_cast<int>(dos & 0x1F) * 2;
  return t;
}

// One file entry's data, handed to minizip raw: we deflate and sum the CRC-32
// ourselves because minizip cannot drop an entry once opened, and a source that
// fails midway must not leave an entry that reads back as a complete file.
class RawEntryData {
 public:
  RawEntryData(zipFile zip, bool deflate) : zip_(zip), deflate_(deflate) {}
  ~RawEntryData() {
    if (streamOpen_) deflateEnd(&stream_);
  }
  RawEntryData(const RawEntryData&) = delete;
  RawEntryData& operator=(const RawEntryData&) = delete;

  bool Begin() {
    if (!deflate_) return true;
    out_.resize(kBlockSize);
    streamOpen_ = deflateInit2(&stream_, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    return streamOpen_;
  }

  bool Append(const unsigned char* data, size_t length) {
    crc_ = crc32(crc_, data, static_cast<uInt>(length));
    size_ += length;
    if (!deflate_) return zipWriteInFileInZip(zip_, data, static_cast<unsigned>(length)) == ZIP_OK;
    stream_.next_in = const_cast<unsigned char*>(data);
    stream_.avail_in = static_cast<uInt>(length);
    return Deflate(Z_NO_FLUSH) == Z_OK;
  }

  bool Finish() { return !deflate_ || Deflate(Z_FINISH) == Z_STREAM_END; }

  uLong crc() const { return crc_; }
  uint64_t size() const { return size_; }

 private:
  // Runs deflate until it wants more input (or has finished), writing what it
  // produced; Z_ERRNO when the archive write failed.
  int Deflate(int flush) {
    int rc;
    do {
      stream_.next_out = out_.data();
      stream_.avail_out = static_cast<uInt>(out_.size());
      rc = deflate(&stream_, flush);
      if (rc == Z_STREAM_ERROR) return rc;
      const auto produced = static_cast<unsigned>(out_.size() - stream_.avail_out);
      if (produced > 0 && zipWriteInFileInZip(zip_, out_.data(), produced) != ZIP_OK) return Z_ERRNO;
    } while (stream_.avail_out == 0);
    return rc == Z_BUF_ERROR ? Z_OK : rc;  // no progress possible: all input taken
  }

  zipFile zip_;
  bool deflate_;
  bool streamOpen_ = false;
  z_stream stream_{};
  std::vector<unsigned char> out_;
  uLong crc_ = crc32(0, nullptr, 0);
  uint64_t size_ = 0;
};

// Copies the current entry of `zip` into `out`; checks length and CRC-32.
int CopyEntryData(unzFile zip, FileHandle& out, uint64_t expectedSize) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) return kZipArchiveError;
  std::vector<unsigned char> buffer(kBlockSize);
  uint64_t total = 0;
  int result = kZipOk;
  for (;;) {
    const int got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (got < 0) {
      result = got == UNZ_ERRNO ? kZipArchiveError : kZipDataError;
      break;
    }
    if (got == 0) break;
    total += static_cast<uint64_t>(got);
    if (!out.Write(buffer.data(), static_cast<size_t>(got))) {
      result = kZipTargetError;
      break;
    }
  }
  // Reports a CRC-32 mismatch once every byte was read.
  const int closed = unzCloseCurrentFile(zip);
  if (result == kZipOk && (closed != UNZ_OK || total != expectedSize)) result = kZipDataError;
  return result;
}

// minizip looks for the end record only after offset 0, so it cannot open an
// archive without entries, which is nothing but that record.
bool IsEmptyArchive(const std::wstring& path) {
  FileHandle file;
  unsigned char record[22];
  if (!file.OpenReadExclusive(path) || file.Size() != sizeof record ||
      file.Read(record, sizeof record) != static_cast<int64_t>(sizeof record)) {
    return false;
  }
  static const unsigned char kEmpty[22] = {'P', 'K', 5, 6};
  return std::equal(std::begin(record), std::end(record), std::begin(kEmpty));
}

// True when both files hold the same bytes (a folder holds none).
bool SameContent(const std::wstring& a, const std::wstring& b) {
  FileHandle first, second;
  if (!first.OpenReadExclusive(a) || !second.OpenReadExclusive(b) || first.Size() != second.Size()) return false;
  std::vector<unsigned char> x(kBlockSize), y(kBlockSize);
  for (;;) {
    const int64_t n = first.Read(x.data(), x.size());
    if (n < 0 || second.Read(y.data(), y.size()) != n) return false;
    if (n == 0) return true;
    if (!std::equal(x.begin(), x.begin() + n, y.begin())) return false;
  }
}

// Moves the finished `temp` to `target` or, when that name is taken by other
// bytes, to the first free numbered name; never replaces anything. `kept`:
// a file of one of those names already held the same bytes, and `temp` is gone.
bool PlaceBeside(const std::wstring& temp, const std::wstring& target, std::wstring& placed, bool& kept) {
  kept = false;
  for (int number = 1; number <= kMaxNumberedNames; ++number) {
    placed = number == 1 ? target : NumberedName(target, number);
    const Status moved = MoveWithoutReplacing(temp, placed);
    if (moved) return true;
    if (moved.code() != StatusCode::kAlreadyExists) return false;
    if (SameContent(temp, placed)) {
      kept = true;
      DeleteFilePath(temp);
      return true;
    }
  }
  return false;
}

bool IsAnySeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Two or more dots, possibly with spaces: what Windows reads as "..".
bool IsParentReference(const std::wstring& component) {
  const auto dots = std::count(component.begin(), component.end(), L'.');
  return dots >= 2 && std::all_of(component.begin(), component.end(),
                                  [](wchar_t c) { return c == L'.' || c == L' '; });
}

}  // namespace

void ZipWriterCloser::operator()(ZipWriter* writer) const {
  if (writer->zip) zipClose(writer->zip, nullptr);
  delete writer;
}

void ZipReaderCloser::operator()(ZipReader* reader) const {
  if (reader->zip) unzClose(reader->zip);
  delete reader;
}

ArchiveWriter CreateArchive(const std::wstring& path, unsigned codePage) {
  // Replacing an existing archive must not fail on its read-only or hidden flag.
  if (PathExists(path) && !IsFolder(path)) SetNormalAttributes(path);
  zipFile zip = OpenZipForWriting(path);
  if (!zip) return nullptr;
  ArchiveWriter writer(new ZipWriter);
  writer->zip = zip;
  writer->codePage = codePage;
  return writer;
}

int AddFileEntry(ZipWriter* archive, const std::wstring& entryName, const std::wstring& sourcePath) {
  if (!archive) return kZipNoHandle;
  std::string name;
  if (!EncodeName(entryName, archive->codePage, name)) return kZipBadArgument;

  // Time and attributes first: the exclusive open below may keep others out.
  LocalTime modified;
  const uint32_t attributes = GetAttributes(sourcePath);
  if (attributes == UINT32_MAX || !GetLastWriteTime(sourcePath, modified)) return kZipSourceError;
  FileHandle source;
  if (!source.OpenReadExclusive(sourcePath)) return kZipSourceError;
  const int64_t sourceSize = source.Size();
  if (sourceSize < 0) return kZipSourceError;

  zip_fileinfo info{};
  info.dosDate = ToDosDateTime(modified);
  info.external_fa = attributes & kFileAttributes;
  const bool deflate = !IsStoredName(entryName);
  const int zip64 = static_cast<uint64_t>(sourceSize) > kZip64Threshold ? 1 : 0;
  if (zipOpenNewFileInZip4_64(archive->zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                              deflate ? Z_DEFLATED : 0, deflate ? kDeflateLevel : 0, /*raw=*/1,
                              -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, 0,
                              zip64) != ZIP_OK) {
    return kZipArchiveError;
  }

  RawEntryData data(archive->zip, deflate);
  int result = data.Begin() ? kZipOk : kZipArchiveError;
  std::vector<unsigned char> buffer(kBlockSize);
  while (result == kZipOk) {
    const int64_t got = source.Read(buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      result = kZipSourceError;
    } else if (!data.Append(buffer.data(), static_cast<size_t>(got))) {
      result = kZipArchiveError;
    } else if (archive->hook && !archive->hook(static_cast<uint64_t>(got), false)) {
      result = kZipStopped;
    }
  }
  if (result == kZipOk && !data.Finish()) result = kZipArchiveError;
  // On failure the entry still has to be closed; its CRC-32 is made wrong so
  // that no reader takes the partial data for the file.
  const uLong crc = result == kZipOk ? data.crc() : ~data.crc() & 0xFFFFFFFFu;
  if (zipCloseFileInZipRaw64(archive->zip, data.size(), crc) != ZIP_OK && result == kZipOk) {
    result = kZipArchiveError;
  }
  if (result == kZipOk && archive->hook && !archive->hook(0, true)) result = kZipStopped;
  return result;
}

void SetDataHook(ZipWriter* archive, ZipDataHook hook) {
  if (archive) archive->hook = std::move(hook);
}

int AddFolderEntry(ZipWriter* archive, const std::wstring& folderName) {
  if (!archive) return kZipNoHandle;
  if (folderName.empty()) return kZipBadArgument;
  std::string name;
  if (!EncodeName(IsAnySeparator(folderName.back()) ? folderName : folderName + L"/",
                  archive->codePage, name)) {
    return kZipBadArgument;
  }
  zip_fileinfo info{};
  info.dosDate = ToDosDateTime(CurrentLocalTime());
  info.external_fa = kAttrDirectory;
  if (zipOpenNewFileInZip4_64(archive->zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0,
                              -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, 0, 0) != ZIP_OK) {
    return kZipArchiveError;
  }
  return zipCloseFileInZip(archive->zip) == ZIP_OK ? kZipOk : kZipArchiveError;
}

int CloseArchive(ArchiveWriter& archive) {
  if (!archive) return kZipNoHandle;
  const int rc = zipClose(archive->zip, nullptr);
  archive->zip = nullptr;
  archive.reset();
  return rc == ZIP_OK ? kZipOk : kZipArchiveError;
}

ArchiveReader OpenArchive(const std::wstring& path, unsigned codePage) {
  unzFile zip = OpenZipForReading(path);
  if (!zip && !IsEmptyArchive(path)) return nullptr;
  ArchiveReader reader(new ZipReader);
  reader->zip = zip;
  reader->codePage = codePage;
  if (!zip) return reader;
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip, &global) != UNZ_OK || global.number_entry > 0x7FFFFFFF) return nullptr;
  reader->entries.reserve(static_cast<size_t>(global.number_entry));
  int rc = global.number_entry > 0 ? unzGoToFirstFile(zip) : UNZ_END_OF_LIST_OF_FILE;
  for (; rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
    unz64_file_pos position;
    if (unzGetFilePos64(zip, &position) != UNZ_OK) return nullptr;
    reader->entries.push_back(position);
  }
  // Anything but a clean end means a damaged central directory.
  if (rc != UNZ_END_OF_LIST_OF_FILE || reader->entries.size() != global.number_entry) return nullptr;
  return reader;
}

int GetEntryCount(const ZipReader* archive) {
  return archive ? static_cast<int>(archive->entries.size()) : -1;
}

int GetEntry(ZipReader* archive, int index, ZipEntryInfo& entry) {
  if (!archive) return kZipNoHandle;
  if (index < 0 || static_cast<size_t>(index) >= archive->entries.size()) return kZipBadArgument;
  if (unzGoToFilePos64(archive->zip, &archive->entries[static_cast<size_t>(index)]) != UNZ_OK) {
    return kZipArchiveError;
  }
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(archive->zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return kZipArchiveError;
  }
  std::string name(info.size_filename, '\0');
  if (!name.empty() && unzGetCurrentFileInfo64(archive->zip, &info, &name[0], static_cast<uLong>(name.size()),
                                               nullptr, 0, nullptr, 0) != UNZ_OK) {
    return kZipArchiveError;
  }
  entry.name = FromAnsi(name, archive->codePage);
  entry.attributes = static_cast<uint32_t>(info.external_fa) & (kFileAttributes | kAttrDirectory);
  // Some writers mark folders only by the trailing "/".
  if (!entry.name.empty() && entry.name.back() == L'/') entry.attributes |= kAttrDirectory;
  entry.time = FromDosDateTime(info.dosDate);
  entry.size = info.uncompressed_size;
  return kZipOk;
}

int ExtractEntry(ZipReader* archive, int index, const std::wstring& targetPath, ExistingFile existing) {
  ZipEntryInfo entry;
  if (const int rc = GetEntry(archive, index, entry); rc != kZipOk) return rc;
  std::wstring target = targetPath;
#ifndef _WIN32
  std::replace(target.begin(), target.end(), L'\\', L'/');
#endif
  if (entry.attributes & kAttrDirectory) {
    CreateFolders(target);
    return IsFolder(target) ? kZipOk : kZipTargetError;
  }
  const size_t cut = target.find_last_of(L"/\\");
  if (cut != std::wstring::npos && cut > 0) CreateFolders(target.substr(0, cut));

  const std::wstring temp = TemporaryPathFor(target);
  FileHandle out;
  if (!CreateTemporary(out, temp)) return kZipTargetError;
  int result = CopyEntryData(archive->zip, out, entry.size);
  if (result == kZipOk && !out.Sync()) result = kZipTargetError;
  if (!out.Close() && result == kZipOk) result = kZipTargetError;
  if (result != kZipOk) {
    DeleteFilePath(temp);
    return result;
  }
  std::wstring placed = target;
  if (existing == ExistingFile::kReplace) {
    if (!ReplaceWithTemporary(temp, target, FolderSync::kNow)) return kZipTargetError;
  } else {
    bool kept = false;
    if (!PlaceBeside(temp, target, placed, kept)) {
      DeleteFilePath(temp);
      return kZipTargetError;
    }
    if (kept) return kZipOk;  // that file holds these bytes already
    SyncFolder(ParentFolder(placed));
  }
  // The data is complete and in place; time and attributes are best effort.
  SetLastWriteTime(placed, entry.time);
  SetAttributes(placed, entry.attributes & kFileAttributes);
  return kZipOk;
}

int CloseReader(ArchiveReader& archive) {
  if (!archive) return kZipNoHandle;
  const int rc = archive->zip ? unzClose(archive->zip) : UNZ_OK;
  archive->zip = nullptr;
  archive.reset();
  return rc == UNZ_OK ? kZipOk : kZipArchiveError;
}

bool IsSafeEntryName(const std::wstring& name) {
  if (name.empty() || IsAnySeparator(name[0])) return false;
  if (name.find(L':') != std::wstring::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find_first_of(L"/\\", start);
    const std::wstring component = name.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (IsParentReference(component) || IsReservedDeviceName(component)) return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

}  // namespace vellumo
