#include "sealed/sealed_format.h"

#include <algorithm>
#include <cstring>

namespace vellumo {
namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Offsets of the header's fields.
constexpr size_t kVersionAt = 8, kFlagsAt = 9, kKdfAt = 10, kZeroAt = 11, kPassesAt = 12, kMemoryAt = 16,
                 kSaltAt = 20, kNonceAt = 36, kCheckAt = 52;
static_assert(kCheckAt + sizeof(KeyCheck) == kSealedHeaderSize);

}  // namespace

bool KdfAccepted(const KdfParams& kdf) {
  return kdf.passes >= kLightestKdf.passes && kdf.passes <= kMaxKdfPasses && kdf.memoryKiB >= kLightestKdf.memoryKiB &&
         kdf.memoryKiB <= kMaxKdfMemoryKiB && uint64_t{kdf.passes} * kdf.memoryKiB <= kMaxKdfWork;
}

SealedHeaderBytes EncodeSealedHeader(const SealedHeader& header) {
  SealedHeaderBytes bytes{};
  std::copy(kSealedMagic.begin(), kSealedMagic.end(), bytes.begin());
  bytes[kVersionAt] = kSealedVersion;
  bytes[kFlagsAt] = header.packed ? kSealedPackedFlag : 0;
  bytes[kKdfAt] = kKdfArgon2id;
  Put32(&bytes[kPassesAt], header.kdf.passes);
  Put32(&bytes[kMemoryAt], header.kdf.memoryKiB);
  std::copy(header.salt.begin(), header.salt.end(), &bytes[kSaltAt]);
  std::copy(header.nonce.begin(), header.nonce.end(), &bytes[kNonceAt]);
  std::copy(header.keyCheck.begin(), header.keyCheck.end(), &bytes[kCheckAt]);
  return bytes;
}

bool HasSealedMagic(const uint8_t* bytes, size_t length) {
  return length >= kSealedMagic.size() && std::equal(kSealedMagic.begin(), kSealedMagic.end(), bytes);
}

SealedError DecodeSealedHeader(const uint8_t* bytes, size_t length, SealedHeader& header) {
  if (!HasSealedMagic(bytes, length)) return SealedError::kNotSealed;
  if (length < kSealedHeaderSize) return SealedError::kDamaged;
  if (bytes[kVersionAt] != kSealedVersion) return SealedError::kUnsupported;
  if ((bytes[kFlagsAt] & ~kSealedPackedFlag) != 0 || bytes[kKdfAt] != kKdfArgon2id || bytes[kZeroAt] != 0) {
    return SealedError::kUnsupported;
  }
  header.packed = (bytes[kFlagsAt] & kSealedPackedFlag) != 0;
  header.kdf = {Get32(&bytes[kPassesAt]), Get32(&bytes[kMemoryAt])};
  if (!KdfAccepted(header.kdf)) return SealedError::kUnsupported;
  std::copy_n(&bytes[kSaltAt], header.salt.size(), header.salt.begin());
  std::copy_n(&bytes[kNonceAt], header.nonce.size(), header.nonce.begin());
  std::copy_n(&bytes[kCheckAt], header.keyCheck.size(), header.keyCheck.begin());
  return SealedError::kNone;
}

}  // namespace vellumo
