#pragma once
// Keys of the sealed format. A key text becomes a master key by Argon2id over
// its UTF-8 form (the whole text: no code page, no cut at 16 bytes, the same
// on Windows and Linux), with the salt and parameters the file carries; the
// master key gives the chunk key and the key check by keyed BLAKE2b.
//
// A derivation costs a quarter of a second or more, so a run keeps one
// keyring: every file the run writes gets the run's one random salt (one
// derivation for the whole run), and the keys of each salt it reads are
// derived once and kept.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sealed/sealed_format.h"

namespace vellumo {

// libsodium set up for use; safe to call from any thread, any number of times.
void InitSodium();

struct SealedKeys {
  std::array<uint8_t, 32> chunkKey{};
  KeyCheck check{};
};

// One key text and the keys derived from it, by salt and parameters.
class SealedKeyring {
 public:
  // Files written through this keyring get `writeKdf` and a random salt.
  explicit SealedKeyring(std::wstring_view keyText, KdfParams writeKdf = kDefaultKdf);
  // With a given salt: for known-answer files, whose bytes must be fixed.
  SealedKeyring(std::wstring_view keyText, KdfParams writeKdf, const KdfSalt& writeSalt);
  ~SealedKeyring();  // the key text and every derived key are wiped
  SealedKeyring(const SealedKeyring&) = delete;
  SealedKeyring& operator=(const SealedKeyring&) = delete;

  const KdfParams& writeKdf() const { return writeKdf_; }
  const KdfSalt& writeSalt() const { return writeSalt_; }

  // The keys for `salt` and `kdf`, derived at the first request and kept.
  // Null when the parameters are out of bounds (error kUnsupported) or the
  // derivation could not get its memory (kNoMemory).
  const SealedKeys* Keys(const KdfSalt& salt, const KdfParams& kdf, SealedError& error);
  // The keys of the files written through this keyring.
  const SealedKeys* WriteKeys(SealedError& error) { return Keys(writeSalt_, writeKdf_, error); }

  // Derivations run so far: one for each distinct salt and parameters asked for.
  int derivations() const { return static_cast<int>(cache_.size()); }

 private:
  struct Entry {
    KdfSalt salt;
    KdfParams kdf;
    SealedKeys keys;
  };
  std::string keyText_;  // UTF-8
  KdfParams writeKdf_;
  KdfSalt writeSalt_{};
  std::vector<std::unique_ptr<Entry>> cache_;  // entries stay where they are as it grows
};

// Reads the header at the start of `bytes` and opens it with `keyring`: the
// header decoded, its keys derived (or found in the keyring) and its key check
// compared. kNone leaves the header and its keys in the last two arguments.
SealedError OpenSealedHeader(const uint8_t* bytes, size_t length, SealedKeyring& keyring, SealedHeader& header,
                             const SealedKeys*& keys);

}  // namespace vellumo
