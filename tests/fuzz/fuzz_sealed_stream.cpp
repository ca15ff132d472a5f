// The sealed format's header and stream. The first input byte steers:
//   bit 0 clear, bit 2 set: the rest is a plaintext file, encrypted in the
//     sealed format and decrypted again through the engine.
//     Checks: the file comes back whole; nothing is left beside it.
//   bit 0 clear, bit 2 clear: the rest is a file to decrypt through the engine. Without
//     the magic it gets one. With bit 1 set, its salt, cost and key check are
//     made those of the fuzzer's key, so the chunks are reached (one key
//     derivation for the whole run, not one per input).
//     Checks: an accepted header encodes back to the same bytes and is within
//     the bounds; a refused file keeps its bytes and leaves nothing beside
//     it; a file that opens is what the decoder makes of it.
//   bit 0 set: the rest (after two bytes of position and one of change) is a
//     plaintext, sealed and then changed at that position: flipped (bit 1),
//     cut there (bit 2) or given a byte more (bit 3); fed to the decoder in
//     pieces sized from the input. With bit 4 the plaintext is the rest three
//     times over, so that changes reach files of several chunks.
//     Checks: the unchanged file opens to the plaintext; every change is refused.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fileenc/encrypted_file_header.h"
#include "fileenc/file_engine.h"
#include "fuzz_support.h"
#include "quiet_reporter.h"
#include "sealed/sealed_format.h"
#include "sealed/sealed_keys.h"
#include "sealed/sealed_stream.h"

namespace {

namespace fs = std::filesystem;
using namespace vellumo;
using Bytes = std::vector<uint8_t>;

const KdfSalt kSalt = {'f', 'u', 'z', 'z', ' ', 's', 'a', 'l', 't', ' ', 'f', 'i', 'x', 'e', 'd', '!'};

SealedKeyring& Keyring() {
  static SealedKeyring keyring(L"模糊测试的密钥", kLightestKdf, kSalt);
  return keyring;
}

const SealedKeys& Keys() {
  SealedError error = SealedError::kNone;
  static const SealedKeys* keys = Keyring().WriteKeys(error);
  if (!keys) fuzz::Fail("no key");
  return *keys;
}

// Opens `sealed` in memory, fed in pieces of the sizes `steer` names.
bool OpenInPieces(const Bytes& sealed, const uint8_t* steer, size_t steerLength, Bytes& plain) {
  plain.clear();
  SealedHeader header;
  const SealedKeys* keys = nullptr;
  if (OpenSealedHeader(sealed.data(), sealed.size(), Keyring(), header, keys) != SealedError::kNone) return false;
  SealedHeaderBytes headerBytes;
  std::copy_n(sealed.begin(), headerBytes.size(), headerBytes.begin());
  SealedDecoder decoder(*keys, header, headerBytes);
  size_t at = kSealedHeaderSize;
  for (size_t i = 0; at < sealed.size(); ++i) {
    const size_t piece = steerLength ? size_t{steer[i % steerLength]} * 613 + 1 : sealed.size();
    const size_t n = std::min(piece, sealed.size() - at);
    if (!decoder.Feed(sealed.data() + at, n)) return false;
    plain.insert(plain.end(), decoder.output().begin(), decoder.output().end());
    at += n;
  }
  if (!decoder.Finish()) return false;
  plain.insert(plain.end(), decoder.output().begin(), decoder.output().end());
  return true;
}

// Only the file, and for a packed one its unpacked folder, may be below `folder`.
void CheckNothingElse(const fs::path& folder) {
  for (const std::string& name : fuzz::PathsBelow(folder)) {
    if (name == "f.bin" || name == "f" || name.rfind("f/", 0) == 0) continue;
    fuzz::Fail("left behind: " + name);
  }
}

// One file through the engine: the number of refusals.
int RunEngine(const fs::path& path, bool decrypt) {
  fuzz::QuietReporter reporter;
  FileEngine engine(reporter, 936, nullptr, &Keyring());
  const KeyBlock block{};
  FileJob job;
  job.path = std::wstring(path.wstring());
  job.key = &block;
  job.decrypt = decrypt;
  job.format = FileFormat::kSealed;
  engine.ProcessFile(job);
  return reporter.refusals;
}

void RoundTripFile(const Bytes& plain) {
  const fs::path folder = fuzz::ScratchFolder() / "sealed";
  const fs::path path = folder / "f.bin";
  fuzz::ResetFolder(folder);
  fuzz::WriteBytes(path, plain.data(), plain.size());
  const int refused = RunEngine(path, false);
  const Bytes sealed = fuzz::ReadBytes(path);
  CheckNothingElse(folder);
  if (refused > 0) {
    // Only a file that already is encrypted is refused, and it stays.
    const bool encrypted =
        HasSealedMagic(plain.data(), plain.size()) || ClassifyHeader(plain.data(), plain.size(), KeyBlock{}).isEncrypted;
    if (sealed != plain || !encrypted) fuzz::Fail("a plaintext was refused, or changed when refused");
    return;
  }
  if (sealed.size() < kSealedHeaderSize + plain.size() + kSealedTagSize) fuzz::Fail("sealed file too short");
  if (RunEngine(path, true) > 0 || fuzz::ReadBytes(path) != plain) fuzz::Fail("encrypt then decrypt does not give the file back");
  CheckNothingElse(folder);
}

void DecryptFile(Bytes file, bool fixUp) {
  if (!HasSealedMagic(file.data(), file.size())) file.insert(file.begin(), kSealedMagic.begin(), kSealedMagic.end());
  if (fixUp && file.size() >= kSealedHeaderSize) {
    SealedHeader header;
    header.kdf = kLightestKdf;
    header.salt = kSalt;
    header.keyCheck = Keys().check;
    header.packed = (file[9] & kSealedPackedFlag) != 0;
    std::copy_n(file.begin() + 36, header.nonce.size(), header.nonce.begin());
    const SealedHeaderBytes bytes = EncodeSealedHeader(header);
    std::copy(bytes.begin(), bytes.end(), file.begin());
  }
  SealedHeader header;
  const SealedError decoded = DecodeSealedHeader(file.data(), file.size(), header);
  if (decoded == SealedError::kNone) {
    if (!KdfAccepted(header.kdf)) fuzz::Fail("a header out of bounds was accepted");
    const SealedHeaderBytes again = EncodeSealedHeader(header);
    if (!std::equal(again.begin(), again.end(), file.begin())) fuzz::Fail("an accepted header does not encode back");
  }
  // Parameters other than the fuzzer's would cost a derivation per input.
  if (decoded == SealedError::kNone && !(header.salt == kSalt && header.kdf == kLightestKdf)) return;

  const fs::path folder = fuzz::ScratchFolder() / "sealed";
  const fs::path path = folder / "f.bin";
  fuzz::ResetFolder(folder);
  fuzz::WriteBytes(path, file.data(), file.size());
  const int refused = RunEngine(path, true);
  const Bytes after = fuzz::ReadBytes(path);
  CheckNothingElse(folder);
  Bytes plain;
  const bool opens = OpenInPieces(file, nullptr, 0, plain);
  if (refused > 0) {
    if (after != file) fuzz::Fail("a refused file changed");
    if (opens && !header.packed) fuzz::Fail("the engine refused what the decoder opens");
    return;
  }
  if (!opens) fuzz::Fail("the engine accepted what the decoder refuses");
  if (!header.packed && after != plain) fuzz::Fail("the decrypted file is not the plaintext");
}

void TamperInMemory(const uint8_t* data, size_t size) {
  if (size < 3) return;
  const uint8_t flags = data[0];
  const size_t position = (size_t{data[1]} << 8 | data[2]) * (flags & 16 ? 3 : 1);
  const uint8_t change = size > 3 ? data[3] : 1;
  Bytes plain(data + 3, data + size);
  if (flags & 16) {
    const Bytes once = plain;
    for (int i = 0; i < 2; ++i) plain.insert(plain.end(), once.begin(), once.end());
  }
  SealedEncoder encoder(Keys(), kSalt, kLightestKdf, false);
  Bytes sealed = encoder.Feed(plain.data(), plain.size());
  const Bytes& rest = encoder.Finish();
  sealed.insert(sealed.end(), rest.begin(), rest.end());

  Bytes opened;
  if (!OpenInPieces(sealed, data, std::min<size_t>(size, 8), opened) || opened != plain) {
    fuzz::Fail("a sealed plaintext does not open to itself");
  }
  Bytes changed = sealed;
  const size_t at = position % sealed.size();
  if (flags & 2) changed[at] ^= change ? change : 1;
  if (flags & 4) changed.resize(at);
  if (flags & 8) changed.insert(changed.begin() + static_cast<ptrdiff_t>(at), change);
  if (changed == sealed) return;
  if (OpenInPieces(changed, data, std::min<size_t>(size, 8), opened)) {
    fuzz::Fail("a changed file opened: at " + std::to_string(at) + " flags " + std::to_string(flags));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  if (flags & 1) {
    TamperInMemory(data, size);
  } else if (flags & 4) {
    RoundTripFile(Bytes(data + 1, data + size));
  } else {
    DecryptFile(Bytes(data + 1, data + size), (flags & 2) != 0);
  }
  return 0;
}
