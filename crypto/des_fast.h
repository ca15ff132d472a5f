#pragma once
// The DES variant for bulk data: the same bytes as CEncryptDes, with the
// S-boxes and P merged into eight 64-entry word tables and the initial and
// final permutations done by byte lookups. The key is scheduled once, in the
// constructor; the object is then read only, so several threads may share it.
#include <cstddef>
#include <cstdint>

namespace vellumo {

class CDesFast {
 public:
  // As CEncryptDes::PrepareKey: a key longer than 8 bytes selects two-key EDE.
  CDesFast(const uint8_t* key, uint32_t keyLength);

  // In place on `length` bytes, a multiple of 8.
  void EncryptBlocks(uint8_t* buffer, size_t length) const;
  void DecryptBlocks(uint8_t* buffer, size_t length) const;

 private:
  // Round key i of a set split for the two halves of the round function:
  // the even S-boxes' six bits at bytes 0..3 of `even`, the odd ones' of `odd`.
  struct RoundKey {
    uint32_t even, odd;
  };
  void Process(uint8_t* buffer, size_t length, bool encrypt) const;

  RoundKey keys_[2][16] = {};
  bool triple_ = false;
};

}  // namespace vellumo
