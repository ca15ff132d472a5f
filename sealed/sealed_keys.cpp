#include "sealed/sealed_keys.h"

#include <sodium.h>

#include <cstdlib>

#include "crypto/utf8.h"

namespace vellumo {
namespace {

// The labels that make the two keys of a master key (ASCII, no terminator).
constexpr std::string_view kChunkKeyLabel = "Vellumo sealed v1 chunk key";
constexpr std::string_view kKeyCheckLabel = "Vellumo sealed v1 key check";

template <size_t N>
void Label(std::array<uint8_t, N>& out, const std::array<uint8_t, 32>& master, std::string_view label) {
  crypto_generichash(out.data(), out.size(), reinterpret_cast<const unsigned char*>(label.data()), label.size(),
                     master.data(), master.size());
}

}  // namespace

void InitSodium() {
  // Fails only when the system has no random source; nothing here may run then.
  if (sodium_init() < 0) std::abort();
}

SealedKeyring::SealedKeyring(std::wstring_view keyText, KdfParams writeKdf)
    : keyText_(ToUtf8(keyText)), writeKdf_(writeKdf) {
  InitSodium();
  randombytes_buf(writeSalt_.data(), writeSalt_.size());
}

SealedKeyring::SealedKeyring(std::wstring_view keyText, KdfParams writeKdf, const KdfSalt& writeSalt)
    : keyText_(ToUtf8(keyText)), writeKdf_(writeKdf), writeSalt_(writeSalt) {
  InitSodium();
}

SealedKeyring::~SealedKeyring() {
  sodium_memzero(keyText_.data(), keyText_.size());
  for (auto& entry : cache_) sodium_memzero(&entry->keys, sizeof entry->keys);
}

const SealedKeys* SealedKeyring::Keys(const KdfSalt& salt, const KdfParams& kdf, SealedError& error) {
  for (const auto& entry : cache_) {
    if (entry->salt == salt && entry->kdf == kdf) return &entry->keys;
  }
  if (!KdfAccepted(kdf)) {
    error = SealedError::kUnsupported;
    return nullptr;
  }
  std::array<uint8_t, 32> master{};
  if (crypto_pwhash(master.data(), master.size(), keyText_.data(), keyText_.size(), salt.data(), kdf.passes,
                    size_t{kdf.memoryKiB} * 1024, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    // The parameters are within libsodium's own bounds: only memory can fail.
    error = SealedError::kNoMemory;
    return nullptr;
  }
  auto entry = std::make_unique<Entry>();
  entry->salt = salt;
  entry->kdf = kdf;
  Label(entry->keys.chunkKey, master, kChunkKeyLabel);
  Label(entry->keys.check, master, kKeyCheckLabel);
  sodium_memzero(master.data(), master.size());
  cache_.push_back(std::move(entry));
  return &cache_.back()->keys;
}

SealedError OpenSealedHeader(const uint8_t* bytes, size_t length, SealedKeyring& keyring, SealedHeader& header,
                             const SealedKeys*& keys) {
  if (SealedError decoded = DecodeSealedHeader(bytes, length, header); decoded != SealedError::kNone) return decoded;
  SealedError error = SealedError::kNone;
  const SealedKeys* derived = keyring.Keys(header.salt, header.kdf, error);
  if (!derived) return error;
  if (sodium_memcmp(derived->check.data(), header.keyCheck.data(), header.keyCheck.size()) != 0) {
    return SealedError::kWrongKey;
  }
  keys = derived;
  return SealedError::kNone;
}

}  // namespace vellumo
