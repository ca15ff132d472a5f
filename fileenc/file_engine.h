#pragma once
// Encrypts and decrypts files and folders in place through a temporary file,
// packs a selection into one encrypted archive and unpacks it again, and
// upgrades legacy files to the sealed format. The dialog and the command line
// both hand their selection to RunSelection (or UpgradeSelection).
//
// Two formats: the legacy one (a 64-byte header, AES, DES or RC4 under the
// 16-byte key block) and the sealed one (sealed/: Argon2id over the whole key
// text, authenticated chunks). Encryption writes the one the run names;
// decryption tells them apart by their first bytes, never by a file's name.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crypto/ansi_codepage.h"
#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "fileenc/file_format.h"
#include "fileenc/file_messages.h"
#include "fileenc/reporter.h"
#include "platform/status.h"
#include "sealed/sealed_keys.h"

namespace vellumo {

class FileHandle;

// One file or folder of a run, handed by value to the per-file and per-folder
// operations. The sealed format's key is the engine's keyring.
struct FileJob {
  std::wstring path;
  const KeyBlock* key = nullptr;  // the run's key block: opens and writes legacy files
  CipherAlgorithm algorithm = kAes;  // used when encrypting in the legacy format
  bool decrypt = false;
  bool packed = false;            // header value when encrypting
  FileFormat format = FileFormat::kLegacy;  // used when encrypting
  bool upgrade = false;  // a legacy file (or packed set) re-encrypted in the sealed format

  Direction direction() const { return decrypt ? Direction::kDecrypt : Direction::kEncrypt; }
};

// Set from another thread (a cancel button, Ctrl-C) to stop a run. The engine
// looks at it between two buffers of a file and before each file: the file in
// hand loses its temporary file and stays exactly as it was, finished files
// keep their new form, and a packed run leaves no archive behind.
using CancelFlag = std::atomic<bool>;

// What one run does with every entry of its selection.
//
// The key comes twice: as the legacy key block (with the dialog's typed-key
// overlay, OverlayKeyBlock) and as the whole key text, from which the sealed
// format derives its keys (with a typed key, the typed text alone:
// RunKeyText). Decryption opens each file with the form its format takes.
struct RunDescription {
  KeyBlock key{};
  std::wstring keyText;
  FileFormat format = FileFormat::kLegacy;  // what encryption writes
  CipherAlgorithm algorithm = kAes;  // used when encrypting in the legacy format
  KdfParams kdf = kDefaultKdf;       // the cost of the sealed key when encrypting
  Direction direction = Direction::kEncrypt;
  bool pack = false;  // encrypting only: the whole selection into one archive
  const CancelFlag* cancel = nullptr;  // null: the run cannot be stopped
  // Files already in the state the run would give them are passed over
  // without a word to the reporter (a rerun that finishes an interrupted one);
  // otherwise each is reported as it always was. The summary counts them
  // either way.
  bool skipDone = false;
};

enum class FileOutcome {
  kDone,
  kSkipped,    // already in the run's target state: encrypted in an encrypt run,
               // not encrypted in a decrypt run; left as it is
  kRefused,    // the file is not one to treat this way (wrong key, ...)
  kFailed,     // the system would not let it be read, written or replaced
  kCancelled,  // the file in hand when the run was stopped; left as it was
};

struct FileResult {
  std::wstring path;
  FileOutcome outcome = FileOutcome::kDone;
  Status status;          // the system's reason, for a failure it caused
  FileMessage message = FileMessage::kNone;  // what the user was told
};

struct RunSummary {
  std::vector<FileResult> files;  // in the order they were treated
  int processed = 0;              // files attempted, skipped, refused and failed ones included
  int done = 0;
  int skipped = 0;
  int refused = 0;
  int failed = 0;
  bool cancelled = false;         // the run was stopped before its end
  uint64_t notStarted = 0;        // files of the selection a stopped run never reached
  // Temporary files an interrupted earlier run left beside its files, removed
  // when this run reached those files.
  std::vector<std::wstring> leftoversRemoved;

  // Every file is in the run's target state: done now or before.
  bool allDone() const { return refused == 0 && failed == 0; }
};

class FileEngine {
 public:
  // codePage: the ANSI code page of ZIP entry names; cancel: see CancelFlag;
  // sealed: the run's key text and its derived keys, for sealed files (without
  // it no sealed file opens, and none may be written).
  explicit FileEngine(Reporter& reporter, unsigned codePage = kSystemAnsiCodePage,
                      const CancelFlag* cancel = nullptr, SealedKeyring* sealed = nullptr);
  // Puts the names of the last replaced files on the device.
  ~FileEngine();
  FileEngine(const FileEngine&) = delete;
  FileEngine& operator=(const FileEngine&) = delete;

  void ProcessFile(const FileJob& job);
  void ProcessFolder(const FileJob& job);
  void PackAndEncrypt(const std::vector<std::wstring>& entries, const KeyBlock& key, CipherAlgorithm algorithm,
                      FileFormat format = FileFormat::kLegacy);
  enum class UnpackResult { kUnpacked, kFailed, kCancelled };
  // Extracts the decrypted archive `archivePath` of the packed file
  // `packedPath` into UnpackFolderFor(packedPath), or, when a file or a link
  // has that name, into the first of "<folder> (2)", "<folder> (3)", ... that
  // is free or a folder. Every entry name is checked first; nothing is written
  // through a link, and no file already there is replaced (ExistingFile::kKeep).
  UnpackResult UnpackArchive(const std::wstring& archivePath, const std::wstring& packedPath);

  // The totals progress is measured against: every file below `selection`
  // and its bytes, counted by one walk (packing counts the bytes twice).
  void CountTotals(const std::vector<std::wstring>& selection, bool pack);
  // The last progress report (done = total), and what a stopped run left.
  RunSummary Finish();
  bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
  // Whether to go on to the next file: once asked to stop, the run counts as
  // stopped even when the stop falls between two files, with none in hand.
  bool StopRequested() {
    if (!Cancelled()) return false;
    summary_.cancelled = true;
    return true;
  }
  // See RunDescription::skipDone.
  void SetSkipDone(bool skipDone) { skipDone_ = skipDone; }

  // Files attempted since construction (refused and failed ones included).
  int processed() const { return summary_.processed; }
  // Files left as they were since construction: skipped, refused or failed.
  int failed() const { return summary_.skipped + summary_.refused + summary_.failed; }
  const RunSummary& summary() const { return summary_; }

 private:
  // Records a refused or failed file and tells the reporter.
  void Fail(const std::wstring& path, FileMessage message, FileOutcome outcome, const Status& status = Status());
  void Done(const std::wstring& path);
  // A file already in the target state; `message` says which state.
  void Skipped(const std::wstring& path, FileMessage message);
  // Removes the temporary file an interrupted run left beside `path`.
  void RemoveLeftoverOf(const std::wstring& path);
  // The file in hand when the run was stopped: recorded, not reported.
  void Stopped(const std::wstring& path);
  // Progress: a file of `length` bytes begins, `done` of them are through,
  // the file is finished (whatever its outcome).
  void BeginFileProgress(uint64_t length);
  void FileBytes(uint64_t done);
  void EndFileProgress();
  void ReportProgress();
  // A replaced file's folder is synced once, when the run leaves it, instead
  // of once per file: a walk through many small files costs half the syncs.
  void FolderChanged(const std::wstring& folder);
  void SyncChangedFolder();

  // The rest of ProcessFile once the file is open and begun.
  void TransformOpenFile(const FileJob& job, FileHandle& source);

  Reporter& reporter_;
  unsigned codePage_;
  const CancelFlag* cancel_;
  bool skipDone_ = false;
  SealedKeyring* sealed_;
  RunSummary summary_;
  std::wstring unsyncedFolder_;
  RunProgress progress_;
  uint64_t fileBase_ = 0;     // bytesDone when the file in hand began
  uint64_t fileLength_ = 0;   // its bytes
  uint64_t fileSpan_ = 0;     // the bytes of the total it stands for
  uint64_t archiveSpan_ = 0;  // set while a packed run encrypts its archive
  bool inFile_ = false;
};

// Treats every entry of `selection` as `run` says: each folder walked, each
// file on its own, or with packing the whole selection into one encrypted
// archive. Refusals go to the reporter as they happen; the summary lists every
// file with its outcome.
RunSummary RunSelection(const std::vector<std::wstring>& selection, const RunDescription& run, Reporter& reporter,
                        unsigned codePage = kSystemAnsiCodePage);

// Re-encrypts every legacy file of `selection` (folders walked) in the sealed
// format, each in one step through its temporary file: opened with the run's
// key block, sealed with its key text and cost; a packed set stays a packed
// set. The plaintext is never on disk. Files in the sealed format already,
// and files that are not encrypted, are refused; `run.direction`, `format`,
// `algorithm` and `pack` play no part.
RunSummary UpgradeSelection(const std::vector<std::wstring>& selection, const RunDescription& run, Reporter& reporter,
                            unsigned codePage = kSystemAnsiCodePage);

// The packed file of a selection whose first entry is `firstEntry`: a folder
// gives its own path + ".szip"; a file gives its path without the extension
// + ".szip" ("plan.final.txt" gives "plan.final.szip"; ".env" and "README",
// which have no extension, give ".env.szip" and "README.szip").
std::wstring PackedFileName(const std::wstring& firstEntry);
// The folder a packed file unpacks into: beside it, named after its file name
// without the extension ("D:\docs\report.szip" unpacks into "D:\docs\report").
// A name without a usable part before its extension (none at all, ".szip",
// "..szip", a device name such as "aux.szip") gives the whole name with its
// dots made "_" and kUnpackedSuffix after it ("backup" into "backup_unpacked"),
// so the folder is never the one holding the packed file, nor the file itself.
constexpr wchar_t kUnpackedSuffix[] = L"_unpacked";
std::wstring UnpackFolderFor(const std::wstring& packedPath);

}  // namespace vellumo
