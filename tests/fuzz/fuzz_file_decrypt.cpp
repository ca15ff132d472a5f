// Header classification, decryption and encryption of arbitrary files through
// the engine, as the file dialog runs them. The first input byte steers:
//   bit 0: encrypt the rest (and decrypt it again) instead of decrypting it
//   bit 1: when decrypting, give the header the key check of the key in use,
//          so the body transform and unpacking are reached, not only refusals
//   bits 2-3: cipher id when encrypting
// Checks: a refused file (not encrypted, another key, a cipher id the program
// does not have) keeps its bytes; no temporary file stays; nothing is written
// outside the file's folder; decrypt-then-encrypt restores the body and
// encrypt-then-decrypt the file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "fileenc/encrypted_file_header.h"
#include "fileenc/file_engine.h"
#include "fuzz_support.h"
#include "quiet_reporter.h"

namespace {

namespace fs = std::filesystem;
using namespace vellumo;
using Bytes = std::vector<uint8_t>;

const KeyBlock kKey = {0xbc, 0xd3, 0xc3, 0xdc, 0xb2, 0xe2, 0xca, 0xd4, 0xc3, 0xdc, 0xd4, 0xbf};

FileJob Job(const fs::path& path, bool decrypt, int32_t algorithm) {
  FileJob job;
  job.path = std::wstring(path.wstring());
  job.key = &kKey;
  job.decrypt = decrypt;
  job.algorithm = algorithm;
  return job;
}

// Only the file, and for a packed one its unpacked folder, may be below `folder`.
void CheckNothingElse(const fs::path& folder) {
  for (const std::string& path : fuzz::PathsBelow(folder)) {
    if (path == "f.bin" || path == "f" || path.rfind("f/", 0) == 0) continue;
    fuzz::Fail("left behind or written outside: " + path);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  Bytes file(data + 1, data + size);
  const fs::path folder = fuzz::ScratchFolder() / "work";
  const fs::path path = folder / "f.bin";
  fuzz::ResetFolder(folder);
  fuzz::QuietReporter reporter;
  FileEngine engine(reporter, 936);

  if (flags & 1) {
    const int32_t algorithm = (flags >> 2) & 3;
    fuzz::WriteBytes(path, file.data(), file.size());
    engine.ProcessFile(Job(path, false, algorithm));
    const Bytes encrypted = fuzz::ReadBytes(path);
    CheckNothingElse(folder);
    if (reporter.refusals > 0) {
      if (encrypted != file) fuzz::Fail("a refused file changed");
      return 0;
    }
    if (encrypted.size() != file.size() + kHeaderSize) fuzz::Fail("encrypted length");
    engine.ProcessFile(Job(path, true, 0));
    if (reporter.refusals > 0 || fuzz::ReadBytes(path) != file) fuzz::Fail("encrypt then decrypt does not give the file back");
    CheckNothingElse(folder);
    return 0;
  }

  if ((flags & 2) && file.size() >= kHeaderSize) {
    const uint32_t check = Crc32Of(kKey.data(), kKey.size());
    std::memcpy(file.data() + 24, &check, sizeof check);  // little-endian host
  }
  fuzz::WriteBytes(path, file.data(), file.size());
  engine.ProcessFile(Job(path, true, 0));
  CheckNothingElse(folder);
  const Bytes after = fuzz::ReadBytes(path);
  const HeaderCheck check = ClassifyHeader(file.data(), file.size(), kKey);
  const EncryptedFileHeader header = check.isEncrypted ? DecodeHeader(file.data()) : EncryptedFileHeader();
  if (!check.isEncrypted || !check.keyMatches || !header.algorithm.IsKnown()) {
    if (reporter.refusals != 1 || after != file) fuzz::Fail("a refused file changed, or no single message");
    return 0;
  }
  if (header.packed != 0) {
    if (after != file) fuzz::Fail("a packed file changed on unpacking");
    return 0;
  }
  if (after.size() != file.size() - kHeaderSize) fuzz::Fail("decrypted length");
  engine.ProcessFile(Job(path, false, header.algorithm));
  const Bytes again = fuzz::ReadBytes(path);
  if (again.size() != file.size() || !std::equal(again.begin() + kHeaderSize, again.end(), file.begin() + kHeaderSize)) {
    fuzz::Fail("decrypt then encrypt does not give the body back");
  }
  return 0;
}
