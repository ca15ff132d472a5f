#pragma once
// Encrypts and decrypts files and folders in place through a temporary file,
// packs a selection into one encrypted archive and unpacks it again.
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "fileenc/reporter.h"

namespace vellumo {

struct FileJob {
  std::wstring path;
  const KeyBlock* key = nullptr;  // the run's key block
  CipherAlgorithm algorithm = kAes;  // used when encrypting
  bool decrypt = false;
  bool packed = false;            // header value when encrypting

  Direction direction() const { return decrypt ? Direction::kDecrypt : Direction::kEncrypt; }
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
  int processed() const { return processed_; }
  // Files refused or failed since construction.
  int failed() const { return failed_; }

 private:
  // Counts a refused or failed file and reports "文件:<path>  <ending>".
  void Fail(const std::wstring& path, const wchar_t* ending);
  // A replaced file's folder is synced once, when the run leaves it, instead
  // of once per file: a walk through many small files costs half the syncs.
  void FolderChanged(const std::wstring& folder);
  void SyncChangedFolder();

  Reporter& reporter_;
  unsigned codePage_;
  int processed_ = 0;
  int failed_ = 0;
  std::wstring unsyncedFolder_;
};

std::wstring PackedFileName(const std::wstring& firstEntry);

}  // namespace vellumo
