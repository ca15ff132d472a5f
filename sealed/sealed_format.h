#pragma once
// The sealed format, beside the legacy 64-byte header format: an 84-byte
// header (magic, version, flags, the key derivation's parameters and salt, the
// file nonce, the key check), then the plaintext in chunks of 64 KiB, each
// sealed with XChaCha20-Poly1305 under a nonce made of the file nonce, the
// chunk's index and a flag for the last chunk. The header is the additional
// data of the first chunk, so nothing in it can change unnoticed.
// docs/FORMAT.md describes every byte and every check.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vellumo {

constexpr std::array<uint8_t, 8> kSealedMagic = {0x89, 'V', 'L', 'M', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kSealedVersion = 1;
constexpr uint8_t kKdfArgon2id = 1;  // Argon2id, version 0x13, one lane
constexpr uint8_t kSealedPackedFlag = 0x01;
constexpr size_t kSealedHeaderSize = 84;
constexpr size_t kSealedChunkSize = 64 * 1024;  // plaintext bytes of every chunk but the last
constexpr size_t kSealedTagSize = 16;
constexpr size_t kSealedUnitSize = kSealedChunkSize + kSealedTagSize;

using KdfSalt = std::array<uint8_t, 16>;
using FileNonce = std::array<uint8_t, 16>;
using KeyCheck = std::array<uint8_t, 32>;

// The cost of Argon2id: passes over the memory, and the memory in KiB.
struct KdfParams {
  uint32_t passes = 0;
  uint32_t memoryKiB = 0;
  bool operator==(const KdfParams& o) const { return passes == o.passes && memoryKiB == o.memoryKiB; }
};

// What new files get: 128 MiB and four passes, about a quarter of a second
// on a current desktop (0.25 s measured on a 2-core x86-64 build machine;
// 64 MiB and three passes took 0.1 s there, below the cost we aim for).
constexpr KdfParams kDefaultKdf{4, 128 * 1024};
// The bounds a reader holds a file to. The lower ones: nothing weaker was ever
// written, so a weaker file is not ours. The upper ones: a hostile file must
// not make us allocate gigabytes or compute for minutes (at most a few
// seconds and 256 MiB).
constexpr KdfParams kLightestKdf{1, 16 * 1024};
constexpr uint32_t kMaxKdfPasses = 8;
constexpr uint32_t kMaxKdfMemoryKiB = 256 * 1024;
constexpr uint64_t kMaxKdfWork = uint64_t{1024} * 1024;  // passes x KiB: 1 GiB passed over once
bool KdfAccepted(const KdfParams& kdf);

// Why sealed bytes were not opened.
enum class SealedError {
  kNone,
  kNotSealed,    // no magic: not this format at all
  kUnsupported,  // another version, unknown flags or derivation, parameters out of bounds
  kWrongKey,     // the key check does not match the key
  kDamaged,      // cut short, changed, reordered or extended: a chunk did not authenticate
  kNoMemory,     // the key derivation could not get its memory
};

struct SealedHeader {
  bool packed = false;  // the plaintext is the ZIP archive of a packed set
  KdfParams kdf = kDefaultKdf;
  KdfSalt salt{};
  FileNonce nonce{};
  KeyCheck keyCheck{};
};

using SealedHeaderBytes = std::array<uint8_t, kSealedHeaderSize>;
SealedHeaderBytes EncodeSealedHeader(const SealedHeader& header);

// True when `bytes` begin with the magic: the file is in this format, whether
// or not the rest of it is sound. This decides whether a file is encrypted.
bool HasSealedMagic(const uint8_t* bytes, size_t length);
// Reads the header of sealed bytes (`length` of them available): kNotSealed,
// kDamaged when there are fewer than a header's bytes, kUnsupported for
// anything a version 1 writer does not write, else kNone.
SealedError DecodeSealedHeader(const uint8_t* bytes, size_t length, SealedHeader& header);

}  // namespace vellumo
