#pragma once
// The bitsliced core of CDesFast. Every bit position of the blocks is one
// vector word with one block per word bit: 128 blocks (one 1024-byte run) in
// SSE2 words, 256 blocks (two runs) in AVX2 words. The S-boxes are logic
// circuits and the permutations are renaming of words.
#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#define VELLUMO_DES_AVX2 1
#endif

namespace vellumo::des_sliced {

// Round key bits as all-zero or all-one masks, as wide as the widest word.
struct Keys {
  alignas(32) uint64_t bits[2][16][48][4];
  bool triple;
};

constexpr size_t kRunBytes = 1024;

// One run of kRunBytes bytes in place, 128-bit words.
void ProcessSse2(const Keys& keys, uint8_t* run, bool encrypt);

// True when this build has the AVX2 path (x86-64 builds), the processor has
// AVX2 and the operating system saves the AVX registers (OSXSAVE with the SSE
// and AVX state enabled in XCR0). Checked once.
bool CpuHasAvx2();

#ifdef VELLUMO_DES_AVX2
// Two runs (2 * kRunBytes bytes) in place, 256-bit words. Only to be called
// when CpuHasAvx2().
void ProcessAvx2(const Keys& keys, uint8_t* runs, bool encrypt);
#endif

}  // namespace vellumo::des_sliced
