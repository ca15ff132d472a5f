#include "crypto/des_fast.h"

#include <array>
#include <cstring>

#include "crypto/des.h"
#include "crypto/des_tables.h"

namespace vellumo {
namespace {

using namespace des_tables;

// Bits are numbered as in CEncryptDes: block bytes loaded little-endian, so
// FIPS bit k is word bit k - 1.
template <std::size_t N>
constexpr uint64_t Permute(uint64_t in, const uint8_t (&table)[N]) {
  uint64_t out = 0;
  for (std::size_t i = 0; i < N; ++i) out |= ((in >> (table[i] - 1)) & 1) << i;
  return out;
}

// A bit permutation is the OR of its effect on each input byte.
using ByteTables = std::array<std::array<uint64_t, 256>, 8>;
template <std::size_t N>
constexpr ByteTables MakeByteTables(const uint8_t (&table)[N]) {
  ByteTables t{};
  for (int byte = 0; byte < 8; ++byte) {
    for (int v = 0; v < 256; ++v) t[byte][v] = Permute(uint64_t(v) << (8 * byte), table);
  }
  return t;
}

// S-box s on its six input bits (b1 the lowest, key already mixed in), its
// output written least significant bit first, then passed through P.
using SpTables = std::array<std::array<uint32_t, 64>, 8>;
constexpr SpTables MakeSpTables() {
  SpTables t{};
  for (int s = 0; s < 8; ++s) {
    for (int six = 0; six < 64; ++six) {
      const int b1 = six & 1, b2 = (six >> 1) & 1, b3 = (six >> 2) & 1, b4 = (six >> 3) & 1,
                b5 = (six >> 4) & 1, b6 = (six >> 5) & 1;
      const int row = 2 * b1 + b6, col = 8 * b2 + 4 * b3 + 2 * b4 + b5;
      const uint64_t out = uint64_t{kSBox[s][16 * row + col]} << (4 * s);
      t[s][six] = static_cast<uint32_t>(Permute(out, kP));
    }
  }
  return t;
}

constexpr ByteTables kIpBytes = MakeByteTables(kIP);
constexpr ByteTables kIpInvBytes = MakeByteTables(kIPInv);
constexpr SpTables kSp = MakeSpTables();

inline uint64_t PermuteBytes(const ByteTables& t, uint64_t v) {
  return t[0][v & 0xFF] | t[1][(v >> 8) & 0xFF] | t[2][(v >> 16) & 0xFF] | t[3][(v >> 24) & 0xFF] |
         t[4][(v >> 32) & 0xFF] | t[5][(v >> 40) & 0xFF] | t[6][(v >> 48) & 0xFF] | t[7][v >> 56];
}

inline uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

// E takes, for S-box s, the bits 4s - 1 .. 4s + 4 (mod 32) of R: after a
// rotation left by one the even boxes' groups start at bits 0, 8, 16, 24 and,
// rotated four further right, the odd boxes' groups too.
template <typename RoundKey>
inline uint32_t F(uint32_t r, const RoundKey& k) {
  const uint32_t t = Rotl(r, 1);
  const uint32_t u = t ^ k.even;
  const uint32_t w = Rotl(t, 28) ^ k.odd;
  return kSp[0][u & 63] ^ kSp[2][(u >> 8) & 63] ^ kSp[4][(u >> 16) & 63] ^ kSp[6][(u >> 24) & 63] ^
         kSp[1][w & 63] ^ kSp[3][(w >> 8) & 63] ^ kSp[5][(w >> 16) & 63] ^ kSp[7][(w >> 24) & 63];
}

template <typename Keys>
inline void EncryptRounds(uint32_t& l, uint32_t& r, const Keys& k) {
  for (int i = 0; i < 16; i += 2) {
    l ^= F(r, k[i]);
    r ^= F(l, k[i + 1]);
  }
}

template <typename Keys>
inline void DecryptRounds(uint32_t& l, uint32_t& r, const Keys& k) {
  for (int i = 15; i > 0; i -= 2) {
    r ^= F(l, k[i]);
    l ^= F(r, k[i - 1]);
  }
}

inline uint64_t Load(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline void Store(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The bitsliced path: 128 blocks side by side, one 128-bit word per bit.
using V = uint64_t __attribute__((vector_size(16)));

#include "crypto/des_sbox_circuits.inc"

// Output bit 4s + q of the S-boxes lands at bit kPInv[4s + q] of f.
constexpr std::array<uint8_t, 32> MakePInv() {
  std::array<uint8_t, 32> inv{};
  for (int i = 0; i < 32; ++i) inv[kP[i] - 1] = static_cast<uint8_t>(i);
  return inv;
}
constexpr std::array<uint8_t, 32> kPInv = MakePInv();

// Afterwards bit i of word j is bit j of word i before.
void Transpose64(uint64_t* a) {
  uint64_t m = 0x00000000FFFFFFFFull;
  for (int j = 32; j != 0; j >>= 1, m ^= m << j) {
    for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const uint64_t t = ((a[k] >> j) ^ a[k | j]) & m;
      a[k] ^= t << j;
      a[k | j] ^= t;
    }
  }
}

template <int S>
inline void SlicedSBox(V* dst, const V* src, const uint64_t (*key)[2]) {
  V x[6], o[4];
  for (int b = 0; b < 6; ++b) {
    std::memcpy(&x[b], key[6 * S + b], sizeof x[b]);  // the key bit as a mask
    x[b] ^= src[kE[6 * S + b] - 1];
  }
  if constexpr (S == 0) SBox0(x, o);
  if constexpr (S == 1) SBox1(x, o);
  if constexpr (S == 2) SBox2(x, o);
  if constexpr (S == 3) SBox3(x, o);
  if constexpr (S == 4) SBox4(x, o);
  if constexpr (S == 5) SBox5(x, o);
  if constexpr (S == 6) SBox6(x, o);
  if constexpr (S == 7) SBox7(x, o);
  for (int q = 0; q < 4; ++q) dst[kPInv[4 * S + q]] ^= o[q];
}

// dst ^= f(src, key)
inline void SlicedF(V* dst, const V* src, const uint64_t (*key)[2]) {
  SlicedSBox<0>(dst, src, key);
  SlicedSBox<1>(dst, src, key);
  SlicedSBox<2>(dst, src, key);
  SlicedSBox<3>(dst, src, key);
  SlicedSBox<4>(dst, src, key);
  SlicedSBox<5>(dst, src, key);
  SlicedSBox<6>(dst, src, key);
  SlicedSBox<7>(dst, src, key);
}

inline void SlicedEncryptRounds(V* l, V* r, const uint64_t (*keys)[48][2]) {
  for (int i = 0; i < 16; i += 2) {
    SlicedF(l, r, keys[i]);
    SlicedF(r, l, keys[i + 1]);
  }
}

inline void SlicedDecryptRounds(V* l, V* r, const uint64_t (*keys)[48][2]) {
  for (int i = 15; i > 0; i -= 2) {
    SlicedF(r, l, keys[i]);
    SlicedF(l, r, keys[i - 1]);
  }
}

}  // namespace

CDesFast::CDesFast(const uint8_t* key, uint32_t keyLength) {
  CEncryptDes schedule;
  schedule.PrepareKey(key, keyLength);
  triple_ = schedule.triple();
  for (int set = 0; set < (triple_ ? 2 : 1); ++set) {
    const uint64_t* sub = schedule.SubKeys(set);
    for (int round = 0; round < 16; ++round) {
      RoundKey& k = keys_[set][round];
      for (int s = 0; s < 8; ++s) {
        const uint32_t six = static_cast<uint32_t>(sub[round] >> (6 * s)) & 63;
        if (s % 2 == 0) {
          k.even |= six << (4 * s);
        } else {
          k.odd |= six << (4 * s - 4);
        }
      }
      for (int bit = 0; bit < 48; ++bit) {
        const uint64_t mask = ((sub[round] >> bit) & 1) ? ~uint64_t{0} : 0;
        sliceKeys_[set][round][bit][0] = sliceKeys_[set][round][bit][1] = mask;
      }
    }
  }
}

void CDesFast::ProcessSliced(uint8_t* batch, bool encrypt) const {
  // Lanes 0 and 1 of every word hold blocks 0..63 and 64..127.
  uint64_t blocks[2][64];
  for (int lane = 0; lane < 2; ++lane) {
    for (int i = 0; i < 64; ++i) blocks[lane][i] = Load(batch + 8 * (64 * lane + i));
    Transpose64(blocks[lane]);
  }
  // The initial permutation is a renaming of the bit words.
  V l[32], r[32];
  for (int i = 0; i < 32; ++i) {
    l[i] = V{blocks[0][kIP[i] - 1], blocks[1][kIP[i] - 1]};
    r[i] = V{blocks[0][kIP[32 + i] - 1], blocks[1][kIP[32 + i] - 1]};
  }
  if (encrypt) {
    SlicedEncryptRounds(l, r, sliceKeys_[0]);
    if (triple_) {
      SlicedDecryptRounds(l, r, sliceKeys_[1]);
      SlicedEncryptRounds(l, r, sliceKeys_[0]);
    }
  } else {
    SlicedDecryptRounds(l, r, sliceKeys_[0]);
    if (triple_) {
      SlicedEncryptRounds(l, r, sliceKeys_[1]);
      SlicedDecryptRounds(l, r, sliceKeys_[0]);
    }
  }
  // No final swap: L stays in front of the final permutation.
  for (int i = 0; i < 64; ++i) {
    const int from = kIPInv[i] - 1;
    const V w = from < 32 ? l[from] : r[from - 32];
    blocks[0][i] = w[0];
    blocks[1][i] = w[1];
  }
  for (int lane = 0; lane < 2; ++lane) {
    Transpose64(blocks[lane]);
    for (int i = 0; i < 64; ++i) Store(batch + 8 * (64 * lane + i), blocks[lane][i]);
  }
}

void CDesFast::Process(uint8_t* buffer, size_t length, bool encrypt) const {
  size_t start = 0;
  for (; start + kSliceBytes <= length; start += kSliceBytes) ProcessSliced(buffer + start, encrypt);
  for (size_t at = start; at + 8 <= length; at += 8) {
    const uint64_t block = PermuteBytes(kIpBytes, Load(buffer + at));
    uint32_t l = static_cast<uint32_t>(block), r = static_cast<uint32_t>(block >> 32);
    // Between the three passes of EDE the final and initial permutations
    // cancel, so the halves go straight from one pass to the next.
    if (encrypt) {
      EncryptRounds(l, r, keys_[0]);
      if (triple_) {
        DecryptRounds(l, r, keys_[1]);
        EncryptRounds(l, r, keys_[0]);
      }
    } else {
      DecryptRounds(l, r, keys_[0]);
      if (triple_) {
        EncryptRounds(l, r, keys_[1]);
        DecryptRounds(l, r, keys_[0]);
      }
    }
    // No final swap: L stays in front.
    Store(buffer + at, PermuteBytes(kIpInvBytes, uint64_t{l} | (uint64_t{r} << 32)));
  }
}

void CDesFast::EncryptBlocks(uint8_t* buffer, size_t length) const { Process(buffer, length, true); }
void CDesFast::DecryptBlocks(uint8_t* buffer, size_t length) const { Process(buffer, length, false); }

}  // namespace vellumo
