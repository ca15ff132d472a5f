#include "crypto/des.h"

#include <cstddef>

#include "crypto/des_tables.h"

namespace vellumo {
namespace {

using namespace des_tables;

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
