#include "crypto/des.h"

#include <cstddef>

namespace vellumo {
namespace {

// FIPS 46-3 tables, 1-based bit positions as printed.
constexpr uint8_t kIP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                             62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                             57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                             61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
constexpr uint8_t kIPInv[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                                38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                                36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                                34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};
constexpr uint8_t kE[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                            12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                            22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
constexpr uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                              10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                              63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                              14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr uint8_t kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
constexpr uint8_t kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2, 11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0, 6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5, 0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15,
     0,  3,  4,  7, 2,  12, 1,  10, 14, 9, 10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14,
     5,  2,  8,  4, 3,  15, 0,  6,  10, 1, 13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6, 8,  5,  3,  15, 13, 0, 14, 9,  14, 11, 2,  12, 4, 7,
     13, 1,  5,  0,  15, 10, 3,  9, 8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9, 12, 5,
     6,  3,  0,  14, 11, 8,  12, 7, 1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8, 13, 3,  12, 9,  7,  5,  10, 6, 1,  13, 0,  11, 7,  4,  9,
     1,  10, 14, 3,  5,  12, 2, 15, 8,  6,  1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6,  8,
     0,  5,  9,  2,  6,  11, 13, 8, 1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8, 4,  6,  15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5, 6,  11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8, 2,  1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Bit k (1-based) of a block or key is bit (k - 1) % 8 of byte (k - 1) / 8,
// least significant bit first. Loading the bytes little-endian puts bit k at
// bit k - 1 of a 64-bit word, so every table applies directly to word bits.
template <std::size_t N>
uint64_t Permute(uint64_t in, const uint8_t (&table)[N]) {
  uint64_t out = 0;
  for (std::size_t i = 0; i < N; ++i) out |= ((in >> (table[i] - 1)) & 1) << i;
  return out;
}

uint64_t LoadBlock(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void StoreBlock(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t RoundFunction(uint32_t r, uint64_t subKey) {
  uint64_t x = Permute(uint64_t{r}, kE) ^ subKey;
  uint32_t out = 0;
  for (int s = 0; s < 8; ++s) {
    unsigned six = static_cast<unsigned>(x >> (6 * s)) & 63;  // b1 is the low bit
    unsigned b1 = six & 1, b2 = (six >> 1) & 1, b3 = (six >> 2) & 1, b4 = (six >> 3) & 1, b5 = (six >> 4) & 1,
             b6 = (six >> 5) & 1;
    unsigned row = 2 * b1 + b6, col = 8 * b2 + 4 * b3 + 2 * b4 + b5;
    // The S-box value goes out least significant bit first.
    out |= uint32_t{kSBox[s][16 * row + col]} << (4 * s);
  }
  return static_cast<uint32_t>(Permute(uint64_t{out}, kP));
}

constexpr uint32_t kMask28 = (1u << 28) - 1;

uint32_t Rotate28(uint32_t half, int n) {
  // A left rotation in bit-number order moves bits towards lower word bits.
  return ((half >> n) | (half << (28 - n))) & kMask28;
}

}  // namespace

void CEncryptDes::PrepareKey(const uint8_t* key, uint32_t keyLength) {
  uint8_t buffer[16] = {};
  for (uint32_t i = 0; i < keyLength && i < 16; ++i) buffer[i] = key[i];
  int sets = keyLength > 8 ? 2 : 1;
  for (int set = 0; set < sets; ++set) {
    uint64_t cd = Permute(LoadBlock(buffer + 8 * set), kPC1);
    uint32_t c = static_cast<uint32_t>(cd) & kMask28, d = static_cast<uint32_t>(cd >> 28) & kMask28;
    for (int round = 0; round < 16; ++round) {
      c = Rotate28(c, kShifts[round]);
      d = Rotate28(d, kShifts[round]);
      subKeys_[set][round] = Permute(uint64_t{c} | (uint64_t{d} << 28), kPC2);
    }
  }
  triple_ = keyLength > 8;
}

void CEncryptDes::CipherBlock(uint8_t* out, const uint8_t* in, int subKeySet, int direction) const {
  const uint64_t* k = subKeys_[subKeySet];
  uint64_t block = Permute(LoadBlock(in), kIP);
  uint32_t l = static_cast<uint32_t>(block), r = static_cast<uint32_t>(block >> 32);
  if (direction == kEncrypt) {
    for (int i = 0; i < 16; ++i) {
      uint32_t t = r;
      r = l ^ RoundFunction(r, k[i]);
      l = t;
    }
  } else {
    for (int i = 15; i >= 0; --i) {
      uint32_t t = l;
      l = r ^ RoundFunction(l, k[i]);
      r = t;
    }
  }
  // No final swap: L stays in front.
  StoreBlock(out, Permute(uint64_t{l} | (uint64_t{r} << 32), kIPInv));
}

bool CEncryptDes::Process(uint8_t* out, const uint8_t* in, uint32_t length, const uint8_t* key,
                          uint32_t keyLength, int direction) {
  uint32_t n = (length + 7) & ~7u;
  if (!out || !in || !key || n == 0) return false;
  PrepareKey(key, keyLength);
  int other = direction == kEncrypt ? kDecrypt : kEncrypt;
  for (uint32_t i = 0; i < n; i += 8) {
    CipherBlock(out + i, in + i, 0, direction);
    if (triple_) {
      CipherBlock(out + i, out + i, 1, other);
      CipherBlock(out + i, out + i, 0, direction);
    }
  }
  return true;
}

bool DesEncryptBuffer(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength) {
  CEncryptDes des;
  return des.Process(buffer, buffer, length - length % 16, key, keyLength, CEncryptDes::kEncrypt);
}

bool DesDecryptBuffer(uint8_t* buffer, uint32_t length, const uint8_t* key, uint32_t keyLength) {
  CEncryptDes des;
  return des.Process(buffer, buffer, length - length % 16, key, keyLength, CEncryptDes::kDecrypt);
}

}  // namespace vellumo
