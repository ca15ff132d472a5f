#pragma once
// AES-128 (FIPS-197), table driven with the four-table round, ECB on 16-byte
// blocks. The larger Rijndael sizes and chaining modes have no caller and are
// left out.
#include <cstddef>
#include <cstdint>

#include "crypto/key_block.h"

namespace vellumo {

class CRijndael {
 public:
  // kFastest takes the processor's AES instructions when it has them; kTable
  // always the tables (the reference the instruction path is tested against).
  enum class Engine { kFastest, kTable };
  explicit CRijndael(Engine engine = Engine::kFastest);

  // key: 16 bytes.
  void LoadKey(const uint8_t* key);
  // True when the block operations run on the AES instructions.
  bool usesAesNi() const { return aesNi_; }
  // length: a multiple of 16; in and out may be the same buffer.
  void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t length) const;
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t length) const;
  void EncryptOneBlock(const uint8_t* in, uint8_t* out) const;
  void DecryptOneBlock(const uint8_t* in, uint8_t* out) const;

 private:
  uint32_t encKeys_[44] = {};
  uint32_t decKeys_[44] = {};
  bool aesNi_ = false;
  // The same round keys as bytes, in the order of the AES instructions.
  uint8_t niEncKeys_[11][16] = {};
  uint8_t niDecKeys_[11][16] = {};
};

// In place: AES-128-ECB on the whole 16-byte blocks; each byte of the trailing
// partial block is XORed with its position in that tail.
void AesEncryptBuffer(uint8_t* buffer, uint32_t length, const KeyBlock& keyBlock);
void AesDecryptBuffer(uint8_t* buffer, uint32_t length, const KeyBlock& keyBlock);

}  // namespace vellumo
