#include "fileenc/file_engine.h"

#include <algorithm>
#include <cassert>
#include <cwctype>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "fileenc/archive_packing.h"
#include "fileenc/body_stream.h"
#include "fileenc/body_transform.h"
#include "fileenc/encrypted_file_header.h"
#include "fileenc/transform_pipeline.h"
#include "fileenc/zip_archive.h"
#include "platform/file_system.h"
#include "platform/file_times.h"

namespace vellumo {
namespace {

constexpr wchar_t kPackedSuffix[] = L".szip";

// The file name without its extension when that part is a name of its own:
// not empty, not only dots and spaces (which Windows trims away) and not a
// device; empty otherwise.
std::wstring UsableStem(const std::wstring& name) {
  const size_t extension = ExtensionStart(name);
  if (extension == std::wstring::npos) return std::wstring();
  const std::wstring stem = name.substr(0, extension);
  if (stem.find_first_not_of(L". ") == std::wstring::npos || IsReservedDeviceName(stem)) return std::wstring();
  return stem;
}

// True when extracting `name` below `folder` would pass through a link that is
// there already (the folder itself or one of the entry's folders), and so
// could write somewhere else entirely.
bool LeadsThroughLink(const std::wstring& folder, const std::wstring& name) {
  if (IsSymbolicLink(folder)) return true;
  std::wstring path = folder;
  size_t start = 0;
  for (size_t end; (end = name.find_first_of(L"/\\", start)) != std::wstring::npos; start = end + 1) {
    path = JoinPath(path, name.substr(start, end - start));
    if (IsSymbolicLink(path)) return true;
  }
  return false;
}

// A path in the form used to compare two spellings of it: one separator, no
// trailing separator, and on Windows without regard to case.
std::wstring ComparablePath(std::wstring path) {
#ifdef _WIN32
  for (wchar_t& c : path) c = IsPathSeparator(c) ? L'\\' : static_cast<wchar_t>(std::towupper(c));
#endif
  while (path.size() > 1 && IsPathSeparator(path.back())) path.pop_back();
  return path;
}

// A temporary file that an interrupted run left beside a file of the same
// folder listing. The walk passes it by: the file's own turn removes it.
bool IsLeftoverTemporary(const DirEntry& entry, const std::set<std::wstring>& fileNames) {
  constexpr size_t kSuffixLength = sizeof kTemporarySuffix / sizeof kTemporarySuffix[0] - 1;
  const std::wstring& name = entry.name;
  return !entry.isFolder && name.size() > kSuffixLength &&
         name.compare(name.size() - kSuffixLength, kSuffixLength, kTemporarySuffix) == 0 &&
         fileNames.count(name.substr(0, name.size() - kSuffixLength)) > 0;
}

std::set<std::wstring> FileNamesOf(const std::vector<DirEntry>& entries) {
  std::set<std::wstring> names;
  for (const DirEntry& entry : entries) {
    if (!entry.isFolder) names.insert(entry.name);
  }
  return names;
}

// True when packing `item` would read `archive`: it is the archive, or a folder holding it.
bool ItemHoldsPath(const std::wstring& item, const std::wstring& archive) {
  const std::wstring a = ComparablePath(item);
  const std::wstring b = ComparablePath(archive);
  if (a == b) return true;
  return IsFolder(item) && b.size() > a.size() && b.compare(0, a.size(), a) == 0 &&
         (IsPathSeparator(a.back()) || IsPathSeparator(b[a.size()]));
}

// Reads up to `length` bytes from the start of an open file; false on a read error.
bool ReadHead(FileHandle& source, uint8_t* bytes, size_t length, size_t& got) {
  got = 0;
  while (got < length) {
    const int64_t n = source.Read(bytes + got, length - got);
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

// What a sealed header that did not open means for the file.
std::pair<FileMessage, FileOutcome> SealedRefusal(SealedError error) {
  switch (error) {
    case SealedError::kWrongKey: return {FileMessage::kWrongKey, FileOutcome::kRefused};
    case SealedError::kUnsupported: return {FileMessage::kUnsupported, FileOutcome::kRefused};
    case SealedError::kNoMemory: return {FileMessage::kNoMemory, FileOutcome::kFailed};
    case SealedError::kNotSealed:
    case SealedError::kDamaged:
    case SealedError::kNone: break;
  }
  return {FileMessage::kDamaged, FileOutcome::kRefused};
}

}  // namespace

FileEngine::FileEngine(Reporter& reporter, unsigned codePage, const CancelFlag* cancel, SealedKeyring* sealed)
    : reporter_(reporter), codePage_(codePage), cancel_(cancel), sealed_(sealed) {}

FileEngine::~FileEngine() { SyncChangedFolder(); }

void FileEngine::FolderChanged(const std::wstring& folder) {
  if (folder != unsyncedFolder_) SyncChangedFolder();
  unsyncedFolder_ = folder;
}

void FileEngine::SyncChangedFolder() {
  if (!unsyncedFolder_.empty()) SyncFolder(unsyncedFolder_);
  unsyncedFolder_.clear();
}

void FileEngine::Fail(const std::wstring& path, FileMessage message, FileOutcome outcome, const Status& status) {
  if (outcome == FileOutcome::kRefused) {
    ++summary_.refused;
  } else {
    ++summary_.failed;
  }
  summary_.files.push_back({path, outcome, status, message});
  EndFileProgress();
  reporter_.RefuseWithReason(message, path, status);
}

void FileEngine::Done(const std::wstring& path) {
  ++summary_.done;
  summary_.files.push_back({path, FileOutcome::kDone, Status(), FileMessage::kNone});
  EndFileProgress();
}

void FileEngine::Skipped(const std::wstring& path, FileMessage message) {
  ++summary_.skipped;
  summary_.files.push_back({path, FileOutcome::kSkipped, Status(), message});
  EndFileProgress();
  RemoveLeftoverOf(path);
  if (!skipDone_) reporter_.RefuseWithReason(message, path, Status());
}

void FileEngine::RemoveLeftoverOf(const std::wstring& path) {
  const std::wstring tempPath = TemporaryPathFor(path);
  if ((PathExists(tempPath) || IsSymbolicLink(tempPath)) && !IsFolder(tempPath) && DeleteFilePath(tempPath)) {
    summary_.leftoversRemoved.push_back(tempPath);
  }
}

void FileEngine::Stopped(const std::wstring& path) {
  summary_.cancelled = true;
  summary_.files.push_back({path, FileOutcome::kCancelled, Status(StatusCode::kCancelled, 0), FileMessage::kNone});
  inFile_ = false;
}

void FileEngine::BeginFileProgress(uint64_t length) {
  fileBase_ = progress_.bytesDone;
  fileLength_ = length;
  fileSpan_ = archiveSpan_ != 0 ? archiveSpan_ : length;
  inFile_ = true;
  ReportProgress();
}

void FileEngine::FileBytes(uint64_t done) {
  if (!inFile_) return;
  // An archive stands for its sources' bytes, whatever its own length.
  const uint64_t share = fileLength_ == 0 || fileSpan_ == fileLength_
                             ? std::min(done, fileSpan_)
                             : static_cast<uint64_t>(static_cast<double>(fileSpan_) *
                                                     std::min(1.0, static_cast<double>(done) / fileLength_));
  progress_.bytesDone = std::max(progress_.bytesDone, fileBase_ + share);
  ReportProgress();
}

void FileEngine::EndFileProgress() {
  if (inFile_) progress_.bytesDone = std::max(progress_.bytesDone, fileBase_ + fileSpan_);
  inFile_ = false;
  ++progress_.filesDone;
  ReportProgress();
}

void FileEngine::ReportProgress() {
  // Files that grew since they were counted must not run the bar past its end.
  RunProgress shown = progress_;
  shown.bytesTotal = std::max(shown.bytesTotal, shown.bytesDone);
  shown.filesTotal = std::max(shown.filesTotal, shown.filesDone);
  reporter_.Progress(shown);
}

namespace {

void CountTree(const std::wstring& folder, RunProgress& totals) {
  std::vector<DirEntry> entries;
  if (!ListFolder(folder, entries)) return;  // the walk itself reports it
  const std::set<std::wstring> fileNames = FileNamesOf(entries);
  for (const DirEntry& entry : entries) {
    if (IsLeftoverTemporary(entry, fileNames)) continue;
    if (entry.isFolder) {
      CountTree(JoinPath(folder, entry.name), totals);
    } else {
      ++totals.filesTotal;
      totals.bytesTotal += entry.size;
    }
  }
}

}  // namespace

void FileEngine::CountTotals(const std::vector<std::wstring>& selection, bool pack) {
  RunProgress totals;
  for (const std::wstring& path : selection) {
    if (IsFolder(path)) {
      CountTree(path, totals);
    } else {
      ++totals.filesTotal;
      totals.bytesTotal += static_cast<uint64_t>(std::max<int64_t>(FileSizeOf(path), 0));
    }
  }
  if (pack) totals.bytesTotal *= 2;
  progress_.filesTotal = totals.filesTotal;
  progress_.bytesTotal = totals.bytesTotal;
  ReportProgress();
}

RunSummary FileEngine::Finish() {
  if (summary_.cancelled) {
    const auto reached = static_cast<uint64_t>(summary_.processed);
    summary_.notStarted = progress_.filesTotal > reached ? progress_.filesTotal - reached : 0;
  } else {
    progress_.bytesDone = std::max(progress_.bytesDone, progress_.bytesTotal);
    progress_.filesDone = std::max(progress_.filesDone, progress_.filesTotal);
    ReportProgress();
  }
  return summary_;
}

void FileEngine::ProcessFile(const FileJob& job) {
  assert(job.key);
  if (StopRequested()) return;  // not started: counted when the run ends
  ++summary_.processed;
  const std::wstring& path = job.path;

  // A link is not transformed: the replace would put an encrypted copy in place
  // of the link and leave its target in the clear.
  FileHandle source;
  if (IsSymbolicLink(path)) return Fail(path, FileMessage::kCannotOpen, FileOutcome::kFailed, Status(StatusCode::kLink, 0));
  if (Status opened = source.OpenReadExclusive(path); !opened) {
    return Fail(path, FileMessage::kCannotOpen, FileOutcome::kFailed, opened);
  }
  reporter_.FileStarted(job.direction(), path);
  TransformOpenFile(job, source);
}

void FileEngine::TransformOpenFile(const FileJob& job, FileHandle& source) {
  const std::wstring& path = job.path;
  const KeyBlock& key = *job.key;

  // The first bytes say which format, if any, the file is in.
  const int64_t length = source.Size();
  if (length < 0) return Fail(path, FileMessage::kReadWriteFailed, FileOutcome::kFailed, source.error());
  uint8_t head[std::max(kHeaderSize, kSealedHeaderSize)];
  const size_t want = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(length), sizeof head));
  size_t got = 0;
  if (!ReadHead(source, head, want, got) || got != want) {
    // A short read: the file shrank since it was measured.
    const Status why = got < want && source.error().ok() ? Status(StatusCode::kIoError, 0) : source.error();
    return Fail(path, FileMessage::kReadWriteFailed, FileOutcome::kFailed, why);
  }
  const HeaderCheck legacy = ClassifyHeader(head, static_cast<size_t>(length), key);
  const bool sealed = HasSealedMagic(head, got);

  FileMessage refusal = FileMessage::kNone;
  if (job.upgrade) {
    if (sealed) {
      refusal = FileMessage::kAlreadySealed;
    } else if (!legacy.isEncrypted) {
      refusal = FileMessage::kNotEncrypted;
    } else if (!legacy.keyMatches) {
      refusal = FileMessage::kWrongKey;
    }
  } else if (!job.decrypt) {
    if (legacy.isEncrypted || sealed) refusal = FileMessage::kAlreadyEncrypted;
  } else if (!legacy.isEncrypted && !sealed) {
    refusal = FileMessage::kNotEncrypted;
  } else if (!sealed && !legacy.keyMatches) {
    refusal = FileMessage::kWrongKey;
  }
  // A sealed file to open: its header read and its key checked first.
  SealedHeader sealedHeader;
  SealedHeaderBytes sealedHeaderBytes{};
  const SealedKeys* sealedKeys = nullptr;
  if (refusal == FileMessage::kNone && job.decrypt && sealed) {
    SealedError error = DecodeSealedHeader(head, got, sealedHeader);
    if (error == SealedError::kNone) {
      error = sealed_ ? OpenSealedHeader(head, got, *sealed_, sealedHeader, sealedKeys) : SealedError::kWrongKey;
    }
    if (error != SealedError::kNone) {
      source.Close();
      const auto [message, outcome] = SealedRefusal(error);
      return Fail(path, message, outcome);
    }
    std::copy_n(head, sealedHeaderBytes.size(), sealedHeaderBytes.begin());
  }
  if (refusal != FileMessage::kNone) {
    source.Close();  // not held while the message waits for the user
    // Already in the run's target state: skipped. A plain file handed to an
    // upgrade has no legacy form to upgrade, so it is refused.
    const bool done = refusal == FileMessage::kAlreadyEncrypted || refusal == FileMessage::kAlreadySealed ||
                      (refusal == FileMessage::kNotEncrypted && job.decrypt);
    if (!done) return Fail(path, refusal, FileOutcome::kRefused);
    return Skipped(path, refusal);
  }
  // Sealed files to write: the run's keys, derived once for the whole run.
  if (!job.decrypt && (job.upgrade || job.format == FileFormat::kSealed)) {
    assert(sealed_);
    SealedError error = SealedError::kNone;
    sealedKeys = sealed_->WriteKeys(error);
    if (!sealedKeys) {
      source.Close();
      const auto [message, outcome] = SealedRefusal(error);
      return Fail(path, message, outcome);
    }
  }

  // What is read from where, and what it goes through.
  BeginFileProgress(static_cast<uint64_t>(length));
  uint64_t bodyStart = 0;
  std::array<uint8_t, kHeaderSize> legacyHeader{};
  ByteView prologue;
  bool unpack = false;
  std::unique_ptr<BodyStream> body;
  if (job.decrypt && sealed) {
    bodyStart = kSealedHeaderSize;
    unpack = sealedHeader.packed;
    body = std::make_unique<OpeningStream>(*sealedKeys, sealedHeader, sealedHeaderBytes);
  } else if (job.decrypt || job.upgrade) {
    // The cipher comes from the file, not the job.
    const EncryptedFileHeader header = DecodeHeader(head);
    // A cipher id this program does not have (a damaged header, a newer file):
    // "decrypting" it would copy the body and drop the header with its key
    // check for good.
    if (!header.algorithm.IsKnown()) {
      source.Close();
      return Fail(path, FileMessage::kUnknownCipher, FileOutcome::kRefused);
    }
    bodyStart = kHeaderSize;
    unpack = job.decrypt && header.packed != 0;
    if (job.upgrade) {
      body = std::make_unique<SealingStream>(*sealedKeys, sealed_->writeSalt(), sealed_->writeKdf(),
                                             header.packed != 0, header.algorithm, key);
    } else {
      body = std::make_unique<LegacyBodyStream>(header.algorithm, Direction::kDecrypt, key);
    }
  } else if (job.format == FileFormat::kSealed) {
    body = std::make_unique<SealingStream>(*sealedKeys, sealed_->writeSalt(), sealed_->writeKdf(), job.packed);
  } else {
    // "Encrypting" with an unknown cipher id would copy the plaintext under a header.
    if (!job.algorithm.IsKnown()) {
      source.Close();
      return Fail(path, FileMessage::kUnknownCipher, FileOutcome::kRefused);
    }
    legacyHeader = EncodeHeader(MakeHeader(job.algorithm, key, job.packed));
    prologue = {legacyHeader.data(), legacyHeader.size()};
    body = std::make_unique<LegacyBodyStream>(job.algorithm, Direction::kEncrypt, key);
  }
  if (Status positioned = source.Seek(bodyStart); !positioned) {
    return Fail(path, FileMessage::kReadWriteFailed, FileOutcome::kFailed, positioned);
  }

  // The rewritten file keeps the original's times, not those of its making.
  FileTimes times;
  const bool haveTimes = ReadFileTimes(path, times);
  const std::wstring tempPath = TemporaryPathFor(path);
  const bool leftover = PathExists(tempPath) || IsSymbolicLink(tempPath);  // overwritten below
  bool refused = false;
  const Status written = WriteTransformed(source, tempPath, prologue, *body, static_cast<uint64_t>(length) - bodyStart,
                                          [this, bodyStart](uint64_t done) {
                                            FileBytes(bodyStart + done);
                                            return !Cancelled();
                                          },
                                          refused);
  source.Close();
  if (refused) return Fail(path, FileMessage::kDamaged, FileOutcome::kRefused);
  if (written.code() == StatusCode::kCancelled) return Stopped(path);
  if (!written) return Fail(path, FileMessage::kReadWriteFailed, FileOutcome::kFailed, written);
  if (leftover) summary_.leftoversRemoved.push_back(tempPath);

  if (unpack) {
    // The packed file stays; its archive is unpacked beside it and dropped.
    const UnpackResult unpacked = UnpackArchive(tempPath, path);
    DeleteFilePath(tempPath);
    if (unpacked == UnpackResult::kCancelled) return Stopped(path);
    if (unpacked == UnpackResult::kFailed) return Fail(path, FileMessage::kUnpackFailed, FileOutcome::kFailed);
    return Done(path);
  }

  // Best effort: a file system without settable times still gets the data.
  if (haveTimes) ApplyFileTimes(tempPath, times);
  // Replaced in one step, so a file of this name exists at every moment.
  if (Status replaced = ReplaceWithTemporary(tempPath, path, FolderSync::kLater); !replaced) {
    return Fail(path, FileMessage::kReplaceFailed, FileOutcome::kFailed, replaced);
  }
  FolderChanged(ParentFolder(path));
  Done(path);
}

void FileEngine::ProcessFolder(const FileJob& job) {
  // The listing is taken whole first, so files that the walk itself creates
  // (temporary files, unpacked folders) are not walked.
  std::vector<DirEntry> entries;
  if (Status listed = ListFolder(job.path, entries); !listed) {
    return Fail(job.path, FileMessage::kCannotOpen, FileOutcome::kFailed, listed);
  }
  const std::set<std::wstring> fileNames = FileNamesOf(entries);
  for (const DirEntry& entry : entries) {
    if (StopRequested()) return;
    if (IsLeftoverTemporary(entry, fileNames)) continue;
    FileJob child = job;
    child.path = JoinPath(job.path, entry.name);
    if (entry.isFolder) {
      ProcessFolder(child);
    } else {
      ProcessFile(child);
    }
  }
}

FileEngine::UnpackResult FileEngine::UnpackArchive(const std::wstring& archivePath, const std::wstring& packedPath) {
  // A folder of that name from an earlier unpack is used again; a file or a
  // link of that name is left alone, and a numbered name taken instead.
  const std::wstring folder = UnpackFolderFor(packedPath);
  std::wstring target;
  for (int number = 1; number <= kMaxNumberedNames && target.empty(); ++number) {
    std::wstring candidate = number == 1 ? folder : folder + L" (" + std::to_wstring(number) + L")";
    if (!IsSymbolicLink(candidate) && (!PathExists(candidate) || IsFolder(candidate))) target = std::move(candidate);
  }
  if (target.empty()) return UnpackResult::kFailed;
  ArchiveReader archive = OpenArchive(archivePath, codePage_);
  if (!archive) return UnpackResult::kFailed;
  const int count = GetEntryCount(archive.get());
  // Every name is checked before anything is written: an archive with a name
  // that leads out of the target folder, or through a link already there, is
  // refused as a whole.
  std::vector<std::pair<int, std::wstring>> files;
  for (int index = 0; index < count; ++index) {
    ZipEntryInfo entry;
    if (GetEntry(archive.get(), index, entry) != kZipOk || !IsSafeEntryName(entry.name) ||
        LeadsThroughLink(target, entry.name)) {
      CloseReader(archive);
      return UnpackResult::kFailed;
    }
    if (!(entry.attributes & kAttrDirectory)) files.emplace_back(index, std::move(entry.name));
  }
  CreateOneFolder(target);
  for (const auto& [index, name] : files) {
    if (Cancelled()) {
      CloseReader(archive);
      return UnpackResult::kCancelled;
    }
    // The user's files in the folder stay: an entry that differs from one of
    // them is written beside it under a free name.
    if (ExtractEntry(archive.get(), index, target + kPathSeparator + name, ExistingFile::kKeep) != kZipOk) {
      CloseReader(archive);
      return UnpackResult::kFailed;
    }
  }
  CloseReader(archive);
  return UnpackResult::kUnpacked;
}

std::wstring PackedFileName(const std::wstring& firstEntry) {
  std::wstring name = firstEntry;
  if (IsFolder(name)) {
    // "D:\docs\project\" names the folder too; the archive goes beside it.
    while (name.size() > 1 && IsPathSeparator(name.back()) && name[name.size() - 2] != L':') name.pop_back();
    return name + kPackedSuffix;
  }
  const size_t cut = LastSeparator(name);
  if (cut != std::wstring::npos) {
    const std::wstring stem = UsableStem(name.substr(cut + 1));
    if (!stem.empty()) name.resize(cut + 1 + stem.size());
  }
  return name + kPackedSuffix;
}

std::wstring UnpackFolderFor(const std::wstring& packedPath) {
  const size_t cut = LastSeparator(packedPath);
  const size_t nameStart = cut == std::wstring::npos ? 0 : cut + 1;
  const std::wstring name = packedPath.substr(nameStart);
  std::wstring folder = UsableStem(name);
  if (folder.empty()) {
    // No dot is left, so no part of the new name can be taken for an
    // extension or a device.
    folder = name;
    std::replace(folder.begin(), folder.end(), L'.', L'_');
    folder += kUnpackedSuffix;
  }
  return packedPath.substr(0, nameStart) + folder;
}

void FileEngine::PackAndEncrypt(const std::vector<std::wstring>& entries, const KeyBlock& key,
                                CipherAlgorithm algorithm, FileFormat format) {
  if (entries.empty()) return;
  // An earlier archive of that name stays: the new one takes a free name.
  const std::wstring archivePath = FreeName(PackedFileName(entries.front()));
  if (archivePath.empty()) {
    ++summary_.processed;
    return Fail(PackedFileName(entries.front()), FileMessage::kCannotOpen, FileOutcome::kFailed,
                Status(StatusCode::kAlreadyExists, 0));
  }
  // Creating the archive inside a folder being packed would have it read itself.
  for (const std::wstring& item : entries) {
    if (ItemHoldsPath(item, archivePath)) {
      ++summary_.processed;
      return Fail(archivePath, FileMessage::kPacksItself, FileOutcome::kRefused);
    }
  }

  ArchiveWriter archive = CreateArchive(archivePath, codePage_);
  if (!archive) {
    ++summary_.processed;
    return Fail(archivePath, FileMessage::kCannotOpen, FileOutcome::kFailed);
  }
  // Packing moves the first half of the bar, entry by entry.
  SetDataHook(archive.get(), [this](uint64_t bytes, bool entryDone) {
    progress_.bytesDone += bytes;
    if (entryDone) ++progress_.filesDone;
    ReportProgress();
    return !Cancelled();
  });
  const uint64_t packedBytes = progress_.bytesTotal / 2;
  // The other items are still packed; the user learns which one is missing.
  std::vector<std::wstring> notPacked;
  for (const std::wstring& item : entries) {
    if (Cancelled()) break;
    if (!AddPathToArchive(archive.get(), item)) notPacked.push_back(item);
  }
  if (Cancelled()) {
    // Stopped: no archive, not even a partial one, is left.
    CloseArchive(archive);
    DeleteFilePath(archivePath);
    return Stopped(archivePath);
  }
  if (CloseArchive(archive) != kZipOk) {
    // The archive could not be written (a full disk): that is the one failure
    // to report; the items it could not take are not to blame.
    ++summary_.processed;
    DeleteFilePath(archivePath);
    return Fail(archivePath, FileMessage::kReadWriteFailed, FileOutcome::kFailed);
  }
  for (const std::wstring& item : notPacked) Fail(item, FileMessage::kPackFailed, FileOutcome::kFailed);

  FileJob job;
  job.path = archivePath;
  job.key = &key;
  job.algorithm = algorithm;
  job.format = format;
  job.decrypt = false;
  job.packed = true;
  const int doneBefore = summary_.done;
  // Encrypting the archive moves the second half, whatever its own length.
  progress_.bytesDone = std::max(progress_.bytesDone, packedBytes);
  archiveSpan_ = std::max<uint64_t>(packedBytes, 1);
  ProcessFile(job);
  archiveSpan_ = 0;
  // An archive that could not be encrypted (or whose encryption was stopped)
  // is not left behind in the clear; the items themselves are untouched.
  if (summary_.done == doneBefore) DeleteFilePath(archivePath);
}

namespace {

// Every entry of `selection` as `base` says (its path aside): folders walked,
// files on their own.
void RunEach(FileEngine& engine, const std::vector<std::wstring>& selection, const FileJob& base) {
  for (const std::wstring& path : selection) {
    if (engine.StopRequested()) break;
    FileJob job = base;
    job.path = path;
    if (IsFolder(path)) {
      engine.ProcessFolder(job);
    } else {
      engine.ProcessFile(job);
    }
  }
}

}  // namespace

RunSummary RunSelection(const std::vector<std::wstring>& selection, const RunDescription& run, Reporter& reporter,
                        unsigned codePage) {
  SealedKeyring keyring(run.keyText, run.kdf);
  FileEngine engine(reporter, codePage, run.cancel, &keyring);
  engine.SetSkipDone(run.skipDone);
  const bool pack = run.pack && run.direction == Direction::kEncrypt;
  engine.CountTotals(selection, pack);
  if (pack) {
    engine.PackAndEncrypt(selection, run.key, run.algorithm, run.format);
  } else {
    FileJob job;
    job.key = &run.key;
    job.algorithm = run.algorithm;
    job.format = run.format;
    job.decrypt = run.direction == Direction::kDecrypt;
    RunEach(engine, selection, job);
  }
  return engine.Finish();
}

RunSummary UpgradeSelection(const std::vector<std::wstring>& selection, const RunDescription& run, Reporter& reporter,
                            unsigned codePage) {
  SealedKeyring keyring(run.keyText, run.kdf);
  FileEngine engine(reporter, codePage, run.cancel, &keyring);
  engine.SetSkipDone(run.skipDone);
  engine.CountTotals(selection, false);
  FileJob job;
  job.key = &run.key;
  job.upgrade = true;
  RunEach(engine, selection, job);
  return engine.Finish();
}

}  // namespace vellumo
