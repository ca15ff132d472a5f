#pragma once
// The DES variant for bulk data: the same bytes as CEncryptDes. Whole runs of
// 1024 bytes (one file chunk) go bitsliced (crypto/des_sliced.h): 128 blocks
// side by side in SSE2 words, or two runs at once in AVX2 words when the
// processor has them. Shorter runs take eight word tables that merge the
// S-boxes with P, the initial and final permutations done by byte lookups.
// The key is scheduled once, in the constructor; the object is then read
// only, so several threads may share it.
#include <cstddef>
#include <cstdint>

#include "crypto/des_sliced.h"

namespace vellumo {

class CDesFast {
 public:
  // The word width of the bitsliced runs.
  enum class Slicing { kSse2, kAvx2 };
  // AVX2 when the processor has it and the system saves its registers.
  static Slicing Fastest();
  static const char* Name(Slicing slicing);

  // As CEncryptDes::PrepareKey: a key longer than 8 bytes selects two-key EDE.
  // A slicing the processor cannot run falls back to SSE2.
  CDesFast(const uint8_t* key, uint32_t keyLength, Slicing slicing = Fastest());

  static constexpr size_t kSliceBytes = des_sliced::kRunBytes;

  // In place on `length` bytes, a multiple of 8.
  void EncryptBlocks(uint8_t* buffer, size_t length) const;
  void DecryptBlocks(uint8_t* buffer, size_t length) const;

  // The slicing in use.
  Slicing slicing() const { return slicing_; }

 private:
  // Round key i of a set split for the two halves of the round function:
  // the even S-boxes' six bits at bytes 0..3 of `even`, the odd ones' of `odd`.
  struct RoundKey {
    uint32_t even, odd;
  };
  void Process(uint8_t* buffer, size_t length, bool encrypt) const;

  RoundKey keys_[2][16] = {};
  des_sliced::Keys sliceKeys_ = {};
  Slicing slicing_ = Slicing::kSse2;
};

}  // namespace vellumo
