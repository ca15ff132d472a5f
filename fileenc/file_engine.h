#pragma once
// Encrypts and decrypts files and folders in place through a temporary file,
// packs a selection into one encrypted archive and unpacks it again. The
// dialog and the command line both hand their selection to RunSelection.
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/ansi_codepage.h"
#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "fileenc/reporter.h"
#include "platform/status.h"

namespace vellumo {

// One file or folder of a run, handed by value to the per-file and per-folder
// operations.
struct FileJob {
  std::wstring path;
  const KeyBlock* key = nullptr;  // the run's key block
  CipherAlgorithm algorithm = kAes;  // used when encrypting
  bool decrypt = false;
  bool packed = false;            // header value when encrypting

  Direction direction() const { return decrypt ? Direction::kDecrypt : Direction::kEncrypt; }
};

// What one run does with every entry of its selection.
struct RunDescription {
  KeyBlock key{};
  CipherAlgorithm algorithm = kAes;  // used when encrypting
  Direction direction = Direction::kEncrypt;
  bool pack = false;  // encrypting only: the whole selection into one archive
};

enum class FileOutcome {
  kDone,
  kRefused,  // the file is not one to treat this way (already encrypted, wrong key, ...)
  kFailed,   // the system would not let it be read, written or replaced
};

struct FileResult {
  std::wstring path;
  FileOutcome outcome = FileOutcome::kDone;
  Status status;        // the system's reason, for a failure it caused
  std::wstring ending;  // the message's ending ("读写失败!"), empty when done
};

struct RunSummary {
  std::vector<FileResult> files;  // in the order they were treated
  int processed = 0;              // files attempted, refused and failed ones included
  int done = 0;
  int refused = 0;
  int failed = 0;

  bool allDone() const { return refused == 0 && failed == 0; }
};

class FileEngine {
 public:
  // codePage: the ANSI code page of ZIP entry names.
  explicit FileEngine(Reporter& reporter, unsigned codePage = kSystemAnsiCodePage);
  // Puts the names of the last replaced files on the device.
  ~FileEngine();
  FileEngine(const FileEngine&) = delete;
  FileEngine& operator=(const FileEngine&) = delete;

  void ProcessFile(const FileJob& job);
  void ProcessFolder(const FileJob& job);
  void PackAndEncrypt(const std::vector<std::wstring>& entries, const KeyBlock& key, CipherAlgorithm algorithm);
  bool UnpackArchive(const std::wstring& tempPath);

  // Files attempted since construction (refused and failed ones included).
  int processed() const { return summary_.processed; }
  // Files refused or failed since construction.
  int failed() const { return summary_.refused + summary_.failed; }
  const RunSummary& summary() const { return summary_; }

 private:
  // Records a refused or failed file and reports "文件:<path>  <ending>".
  void Fail(const std::wstring& path, const wchar_t* ending, FileOutcome outcome, const Status& status = Status());
  void Done(const std::wstring& path);
  // A replaced file's folder is synced once, when the run leaves it, instead
  // of once per file: a walk through many small files costs half the syncs.
  void FolderChanged(const std::wstring& folder);
  void SyncChangedFolder();

  Reporter& reporter_;
  unsigned codePage_;
  RunSummary summary_;
  std::wstring unsyncedFolder_;
};

// Treats every entry of `selection` as `run` says: each folder walked, each
// file on its own, or with packing the whole selection into one encrypted
// archive. Refusals go to the reporter as they happen; the summary lists every
// file with its outcome.
RunSummary RunSelection(const std::vector<std::wstring>& selection, const RunDescription& run, Reporter& reporter,
                        unsigned codePage = kSystemAnsiCodePage);

std::wstring PackedFileName(const std::wstring& firstEntry);

}  // namespace vellumo
