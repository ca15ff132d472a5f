#include "crypto/des_fast.h"

#include <array>

#include "crypto/des.h"
#include "crypto/des_sliced.h"
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

// The bitsliced path in 128-bit words: SSE2 on x86-64; in the x86 build, whose
// baseline processor has no SSE2, the compiler splits them into 32-bit words.
using V = uint64_t __attribute__((vector_size(16)));
using VLoose = uint64_t __attribute__((vector_size(16), aligned(1), may_alias));

#include "crypto/des_sliced.inc"

}  // namespace

CDesFast::Slicing CDesFast::Fastest() { return des_sliced::CpuHasAvx2() ? Slicing::kAvx2 : Slicing::kSse2; }

const char* CDesFast::Name(Slicing slicing) { return slicing == Slicing::kAvx2 ? "avx2" : "sse2"; }

CDesFast::CDesFast(const uint8_t* key, uint32_t keyLength, Slicing slicing)
    : slicing_(slicing == Slicing::kAvx2 && des_sliced::CpuHasAvx2() ? Slicing::kAvx2 : Slicing::kSse2) {
  CEncryptDes schedule;
  schedule.PrepareKey(key, keyLength);
  sliceKeys_.triple = schedule.triple();
  for (int set = 0; set < (sliceKeys_.triple ? 2 : 1); ++set) {
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
        for (uint64_t& lane : sliceKeys_.bits[set][round][bit]) lane = mask;
      }
    }
  }
}

void CDesFast::Process(uint8_t* buffer, size_t length, bool encrypt) const {
  size_t start = 0;
#ifdef VELLUMO_DES_AVX2
  if (slicing_ == Slicing::kAvx2) {
    for (; start + 2 * kSliceBytes <= length; start += 2 * kSliceBytes) {
      des_sliced::ProcessAvx2(sliceKeys_, buffer + start, encrypt);
    }
  }
#endif
  for (; start + kSliceBytes <= length; start += kSliceBytes) {
    des_sliced::ProcessSse2(sliceKeys_, buffer + start, encrypt);
  }
  const bool triple = sliceKeys_.triple;
  for (size_t at = start; at + 8 <= length; at += 8) {
    const uint64_t block = PermuteBytes(kIpBytes, Load(buffer + at));
    uint32_t l = static_cast<uint32_t>(block), r = static_cast<uint32_t>(block >> 32);
    // Between the three passes of EDE the final and initial permutations
    // cancel, so the halves go straight from one pass to the next.
    if (encrypt) {
      EncryptRounds(l, r, keys_[0]);
      if (triple) {
        DecryptRounds(l, r, keys_[1]);
        EncryptRounds(l, r, keys_[0]);
      }
    } else {
      DecryptRounds(l, r, keys_[0]);
      if (triple) {
        EncryptRounds(l, r, keys_[1]);
        DecryptRounds(l, r, keys_[0]);
      }
    }
    // No final swap: L stays in front.
    Store(buffer + at, PermuteBytes(kIpInvBytes, uint64_t{l} | (uint64_t{r} << 32)));
  }
}

namespace des_sliced {
void ProcessSse2(const Keys& keys, uint8_t* run, bool encrypt) { ProcessBatch(keys, run, encrypt); }
}  // namespace des_sliced

void CDesFast::EncryptBlocks(uint8_t* buffer, size_t length) const { Process(buffer, length, true); }
void CDesFast::DecryptBlocks(uint8_t* buffer, size_t length) const { Process(buffer, length, false); }

}  // namespace vellumo
