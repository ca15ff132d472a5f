#pragma once
// The DES variant for bulk data: the same bytes as CEncryptDes. Runs of 128
// blocks (1024 bytes, one file chunk) go bitsliced: every block bit is one
// 128-bit word across the 128 blocks, the S-boxes are logic circuits and the
// permutations are mere renaming. Shorter runs take eight word tables that
// merge the S-boxes with P, the initial and final permutations done by byte
// lookups. The key is scheduled once, in the constructor; the object is then
// read only, so several threads may share it.
#include <cstddef>
#include <cstdint>

namespace vellumo {

class CDesFast {
 public:
  // As CEncryptDes::PrepareKey: a key longer than 8 bytes selects two-key EDE.
  CDesFast(const uint8_t* key, uint32_t keyLength);

  static constexpr size_t kSliceBytes = 1024;

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
  void ProcessSliced(uint8_t* batch, bool encrypt) const;  // kSliceBytes bytes

  RoundKey keys_[2][16] = {};
  // Round key bits as all-zero or all-one 128-bit masks, for the sliced rounds.
  uint64_t sliceKeys_[2][16][48][2] = {};
  bool triple_ = false;
};

}  // namespace vellumo
