#include "crypto/rijndael.h"

#include "crypto/aes_ni.h"

#include <array>
#include <cstring>

namespace vellumo {
namespace {

// The constant tables of the four-table AES round, built at compile time from
// GF(2^8) arithmetic modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t Xtime(uint8_t a) { return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0)); }

constexpr uint8_t GfMul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = Xtime(a);
    b >>= 1;
  }
  return r;
}

struct SBoxes {
  std::array<uint8_t, 256> fwd{};
  std::array<uint8_t, 256> inv{};
};

constexpr SBoxes MakeSBoxes() {
  SBoxes s{};
  // Powers of the generator 3 give the multiplicative inverse of every byte.
  std::array<uint8_t, 256> exp{}, log{};
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = x;
    log[x] = static_cast<uint8_t>(i);
    x = GfMul(x, 3);
  }
  for (int i = 0; i < 256; ++i) {
    uint8_t inv = i == 0 ? 0 : exp[(255 - log[i]) % 255];
    uint8_t b = inv, r = inv;
    for (int k = 0; k < 4; ++k) {
      b = static_cast<uint8_t>((b << 1) | (b >> 7));
      r ^= b;
    }
    r ^= 0x63;
    s.fwd[i] = r;
    s.inv[r] = static_cast<uint8_t>(i);
  }
  return s;
}

constexpr SBoxes kSBoxes = MakeSBoxes();
constexpr const std::array<uint8_t, 256>& kSBox = kSBoxes.fwd;
constexpr const std::array<uint8_t, 256>& kInvSBox = kSBoxes.inv;

constexpr uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return (uint32_t{b0} << 24) | (uint32_t{b1} << 16) | (uint32_t{b2} << 8) | b3;
}
constexpr uint32_t RotR8(uint32_t w) { return (w >> 8) | (w << 24); }

using Table = std::array<std::array<uint32_t, 256>, 4>;

// Encryption tables: column (2s, s, s, 3s) of the S-box output, and its byte
// rotations.
constexpr Table MakeEncTables() {
  Table t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t s = kSBox[i];
    uint32_t w = Word(GfMul(s, 2), s, s, GfMul(s, 3));
    for (int k = 0; k < 4; ++k) {
      t[k][i] = w;
      w = RotR8(w);
    }
  }
  return t;
}

// Decryption tables: InvMixColumns column (14s, 9s, 13s, 11s) of the inverse
// S-box output. With bare = true, of the byte itself (for the round keys).
constexpr Table MakeDecTables(bool bare) {
  Table t{};
  for (int i = 0; i < 256; ++i) {
    uint8_t s = bare ? static_cast<uint8_t>(i) : kInvSBox[i];
    uint32_t w = Word(GfMul(s, 14), GfMul(s, 9), GfMul(s, 13), GfMul(s, 11));
    for (int k = 0; k < 4; ++k) {
      t[k][i] = w;
      w = RotR8(w);
    }
  }
  return t;
}

constexpr Table kTe = MakeEncTables();
constexpr Table kTd = MakeDecTables(false);
constexpr Table kU = MakeDecTables(true);

constexpr uint8_t kRcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1B, 0x36};
constexpr int kRounds = 10;

inline uint32_t Load(const uint8_t* p) { return Word(p[0], p[1], p[2], p[3]); }
inline void Store(uint8_t* p, uint32_t w) {
  p[0] = static_cast<uint8_t>(w >> 24);
  p[1] = static_cast<uint8_t>(w >> 16);
  p[2] = static_cast<uint8_t>(w >> 8);
  p[3] = static_cast<uint8_t>(w);
}
inline uint8_t B(uint32_t w, int n) { return static_cast<uint8_t>(w >> (24 - 8 * n)); }

}  // namespace

CRijndael::CRijndael(Engine engine) : aesNi_(engine == Engine::kFastest && CpuHasAesNi()) {}

void CRijndael::LoadKey(const uint8_t* key) {
  uint32_t* w = encKeys_;
  for (int i = 0; i < 4; ++i) w[i] = Load(key + 4 * i);
  for (int i = 4; i < 4 * (kRounds + 1); ++i) {
    uint32_t t = w[i - 1];
    if (i % 4 == 0) {
      t = Word(kSBox[B(t, 1)], kSBox[B(t, 2)], kSBox[B(t, 3)], kSBox[B(t, 0)]) ^ (uint32_t{kRcon[i / 4 - 1]} << 24);
    }
    w[i] = w[i - 4] ^ t;
  }
  // Equivalent inverse cipher: rounds in reverse order, the inner ones passed
  // through InvMixColumns.
  for (int r = 0; r <= kRounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      uint32_t k = encKeys_[4 * (kRounds - r) + c];
      if (r != 0 && r != kRounds) k = kU[0][B(k, 0)] ^ kU[1][B(k, 1)] ^ kU[2][B(k, 2)] ^ kU[3][B(k, 3)];
      decKeys_[4 * r + c] = k;
    }
  }
  // The instructions take the state in byte order, which is the big-endian
  // word packing above; their decryption round keys are those of the same
  // equivalent inverse cipher.
  for (int r = 0; r <= kRounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      Store(niEncKeys_[r] + 4 * c, encKeys_[4 * r + c]);
      Store(niDecKeys_[r] + 4 * c, decKeys_[4 * r + c]);
    }
  }
}

void CRijndael::EncryptOneBlock(const uint8_t* in, uint8_t* out) const {
  const uint32_t* rk = encKeys_;
  uint32_t s0 = Load(in) ^ rk[0], s1 = Load(in + 4) ^ rk[1], s2 = Load(in + 8) ^ rk[2], s3 = Load(in + 12) ^ rk[3];
  for (int r = 1; r < kRounds; ++r) {
    rk += 4;
    uint32_t t0 = kTe[0][B(s0, 0)] ^ kTe[1][B(s1, 1)] ^ kTe[2][B(s2, 2)] ^ kTe[3][B(s3, 3)] ^ rk[0];
    uint32_t t1 = kTe[0][B(s1, 0)] ^ kTe[1][B(s2, 1)] ^ kTe[2][B(s3, 2)] ^ kTe[3][B(s0, 3)] ^ rk[1];
    uint32_t t2 = kTe[0][B(s2, 0)] ^ kTe[1][B(s3, 1)] ^ kTe[2][B(s0, 2)] ^ kTe[3][B(s1, 3)] ^ rk[2];
    uint32_t t3 = kTe[0][B(s3, 0)] ^ kTe[1][B(s0, 1)] ^ kTe[2][B(s1, 2)] ^ kTe[3][B(s2, 3)] ^ rk[3];
    s0 = t0; s1 = t1; s2 = t2; s3 = t3;
  }
  rk += 4;
  Store(out, Word(kSBox[B(s0, 0)], kSBox[B(s1, 1)], kSBox[B(s2, 2)], kSBox[B(s3, 3)]) ^ rk[0]);
  Store(out + 4, Word(kSBox[B(s1, 0)], kSBox[B(s2, 1)], kSBox[B(s3, 2)], kSBox[B(s0, 3)]) ^ rk[1]);
  Store(out + 8, Word(kSBox[B(s2, 0)], kSBox[B(s3, 1)], kSBox[B(s0, 2)], kSBox[B(s1, 3)]) ^ rk[2]);
  Store(out + 12, Word(kSBox[B(s3, 0)], kSBox[B(s0, 1)], kSBox[B(s1, 2)], kSBox[B(s2, 3)]) ^ rk[3]);
}

void CRijndael::DecryptOneBlock(const uint8_t* in, uint8_t* out) const {
  const uint32_t* rk = decKeys_;
  uint32_t s0 = Load(in) ^ rk[0], s1 = Load(in + 4) ^ rk[1], s2 = Load(in + 8) ^ rk[2], s3 = Load(in + 12) ^ rk[3];
  for (int r = 1; r < kRounds; ++r) {
    rk += 4;
    uint32_t t0 = kTd[0][B(s0, 0)] ^ kTd[1][B(s3, 1)] ^ kTd[2][B(s2, 2)] ^ kTd[3][B(s1, 3)] ^ rk[0];
    uint32_t t1 = kTd[0][B(s1, 0)] ^ kTd[1][B(s0, 1)] ^ kTd[2][B(s3, 2)] ^ kTd[3][B(s2, 3)] ^ rk[1];
    uint32_t t2 = kTd[0][B(s2, 0)] ^ kTd[1][B(s1, 1)] ^ kTd[2][B(s0, 2)] ^ kTd[3][B(s3, 3)] ^ rk[2];
    uint32_t t3 = kTd[0][B(s3, 0)] ^ kTd[1][B(s2, 1)] ^ kTd[2][B(s1, 2)] ^ kTd[3][B(s0, 3)] ^ rk[3];
    s0 = t0; s1 = t1; s2 = t2; s3 = t3;
  }
  rk += 4;
  Store(out, Word(kInvSBox[B(s0, 0)], kInvSBox[B(s3, 1)], kInvSBox[B(s2, 2)], kInvSBox[B(s1, 3)]) ^ rk[0]);
  Store(out + 4, Word(kInvSBox[B(s1, 0)], kInvSBox[B(s0, 1)], kInvSBox[B(s3, 2)], kInvSBox[B(s2, 3)]) ^ rk[1]);
  Store(out + 8, Word(kInvSBox[B(s2, 0)], kInvSBox[B(s1, 1)], kInvSBox[B(s0, 2)], kInvSBox[B(s3, 3)]) ^ rk[2]);
  Store(out + 12, Word(kInvSBox[B(s3, 0)], kInvSBox[B(s2, 1)], kInvSBox[B(s1, 2)], kInvSBox[B(s0, 3)]) ^ rk[3]);
}

void CRijndael::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t length) const {
  if (aesNi_) return AesNiEncryptBlocks(niEncKeys_, in, out, length);
  for (size_t i = 0; i + 16 <= length; i += 16) EncryptOneBlock(in + i, out + i);
}

void CRijndael::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t length) const {
  if (aesNi_) return AesNiDecryptBlocks(niDecKeys_, in, out, length);
  for (size_t i = 0; i + 16 <= length; i += 16) DecryptOneBlock(in + i, out + i);
}

namespace {
// The trailing partial block is only XORed with its position in the tail; the
// XOR undoes itself, so both directions share it.
void XorTail(uint8_t* tail, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) tail[i] ^= static_cast<uint8_t>(i);
}
}  // namespace

void AesEncryptBuffer(uint8_t* buffer, uint32_t length, const KeyBlock& keyBlock) {
  CRijndael aes;
  aes.LoadKey(keyBlock.data());
  uint32_t whole = length - length % 16;
  aes.EncryptBlocks(buffer, buffer, whole);
  XorTail(buffer + whole, length - whole);
}

void AesDecryptBuffer(uint8_t* buffer, uint32_t length, const KeyBlock& keyBlock) {
  CRijndael aes;
  aes.LoadKey(keyBlock.data());
  uint32_t whole = length - length % 16;
  aes.DecryptBlocks(buffer, buffer, whole);
  XorTail(buffer + whole, length - whole);
}

}  // namespace vellumo
