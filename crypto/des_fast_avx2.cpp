// The bitsliced DES in 256-bit words, two 1024-byte runs at once. Only the
// functions below the target pragma use AVX2; the processor check above it
// runs anywhere, and the rest of the program stays plain x86-64.
#include <array>

#include "crypto/des_sliced.h"
#include "crypto/des_tables.h"

#ifdef VELLUMO_DES_AVX2
#include <cpuid.h>
#endif

namespace vellumo::des_sliced {

bool CpuHasAvx2() {
#ifdef VELLUMO_DES_AVX2
  static const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX)) return false;
    // XCR0: the system saves the SSE (bit 1) and AVX (bit 2) register state.
    unsigned xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 6) != 6) return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2);
  }();
  return has;
#else
  return false;
#endif
}

}  // namespace vellumo::des_sliced

#ifdef VELLUMO_DES_AVX2
#ifdef __clang__
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace vellumo {
namespace {

using V = uint64_t __attribute__((vector_size(32)));
using VLoose = uint64_t __attribute__((vector_size(32), aligned(1), may_alias));

#include "crypto/des_sliced.inc"

}  // namespace

namespace des_sliced {
void ProcessAvx2(const Keys& keys, uint8_t* runs, bool encrypt) { ProcessBatch(keys, runs, encrypt); }
}  // namespace des_sliced
}  // namespace vellumo

#ifdef __clang__
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
