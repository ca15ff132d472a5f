#pragma once
// The program's DES variant: FIPS 46-3 tables with the bits of each byte taken
// least significant first, S-box outputs written least significant first and no
// final swap of the halves. A key longer than 8 bytes selects two-key EDE.
// All state lives in the object, so separate objects may run at once.
#include <cstdint>

namespace vellumo {

class CEncryptDes {
 public:
  enum Direction { kEncrypt = 0, kDecrypt = 1 };

  // Ciphers `length` rounded up to a multiple of 8 bytes from in to out (which
  // may be the same buffer). False, doing nothing, for a null pointer or a
  // rounded length of 0.
  bool Process(uint8_t* out, const uint8_t* in, uint32_t length, const uint8_t* key,
               uint32_t keyLength, int direction);
  void PrepareKey(const uint8_t* key, uint32_t keyLength);
  void CipherBlock(uint8_t* out, const uint8_t* in, int subKeySet, int direction) const;
  // The 16 round keys of a set (48 bits each, bit i = PC-2 output bit i + 1)
  // and the triple flag of the last PrepareKey.
  const uint64_t* SubKeys(int subKeySet) const { return subKeys_[subKeySet]; }
  bool triple() const { return triple_; }

 private:
  uint64_t subKeys_[2][16] = {};  // 48-bit round keys
  bool triple_ = false;
};

// In place on the first length - length % 16 bytes; the rest stays in the clear.
bool DesEncryptBuffer(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength);
bool DesDecryptBuffer(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength);

}  // namespace vellumo
