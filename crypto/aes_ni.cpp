#include "crypto/aes_ni.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define VELLUMO_AES_NI 1
#endif

namespace vellumo {

#ifdef VELLUMO_AES_NI

bool CpuHasAesNi() {
  static const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_AES) && (d & bit_SSE2);
  }();
  return has;
}

namespace {

template <bool kEncrypt>
__attribute__((target("aes,sse2"))) inline __m128i Round(__m128i b, __m128i key) {
  if constexpr (kEncrypt) return _mm_aesenc_si128(b, key);
  return _mm_aesdec_si128(b, key);
}

template <bool kEncrypt>
__attribute__((target("aes,sse2"))) inline __m128i LastRound(__m128i b, __m128i key) {
  if constexpr (kEncrypt) return _mm_aesenclast_si128(b, key);
  return _mm_aesdeclast_si128(b, key);
}

// Eight blocks at a time keep the pipelined AES unit busy; ECB blocks are
// independent.
template <bool kEncrypt>
__attribute__((target("aes,sse2"))) void Blocks(const uint8_t (&roundKeys)[11][16], const uint8_t* in,
                                                  uint8_t* out, size_t length) {
  __m128i k[11];
  for (int r = 0; r < 11; ++r) k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys[r]));
  size_t at = 0;
  for (; at + 128 <= length; at += 128) {
    __m128i b[8];
    for (int i = 0; i < 8; ++i) {
      b[i] = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at + 16 * i)), k[0]);
    }
    for (int r = 1; r < 10; ++r) {
      for (int i = 0; i < 8; ++i) b[i] = Round<kEncrypt>(b[i], k[r]);
    }
    for (int i = 0; i < 8; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 16 * i), LastRound<kEncrypt>(b[i], k[10]));
    }
  }
  for (; at + 16 <= length; at += 16) {
    __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at)), k[0]);
    for (int r = 1; r < 10; ++r) b = Round<kEncrypt>(b, k[r]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), LastRound<kEncrypt>(b, k[10]));
  }
}

}  // namespace

void AesNiEncryptBlocks(const uint8_t (&roundKeys)[11][16], const uint8_t* in, uint8_t* out, size_t length) {
  Blocks<true>(roundKeys, in, out, length);
}

void AesNiDecryptBlocks(const uint8_t (&roundKeys)[11][16], const uint8_t* in, uint8_t* out, size_t length) {
  Blocks<false>(roundKeys, in, out, length);
}

#else  // no AES instructions on this architecture: the table path is used

bool CpuHasAesNi() { return false; }
void AesNiEncryptBlocks(const uint8_t (&)[11][16], const uint8_t*, uint8_t*, size_t) {}
void AesNiDecryptBlocks(const uint8_t (&)[11][16], const uint8_t*, uint8_t*, size_t) {}

#endif

}  // namespace vellumo
