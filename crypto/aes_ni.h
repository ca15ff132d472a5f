#pragma once
// AES-128 ECB through the processor's AES instructions, for processors that
// have them (checked once with CPUID). Round keys are given as bytes in the
// order the instructions use: the eleven encryption round keys, or for
// decryption the equivalent inverse cipher's eleven keys.
#include <cstddef>
#include <cstdint>

namespace vellumo {

bool CpuHasAesNi();

// length: a multiple of 16; in and out may be the same buffer. Only to be
// called when CpuHasAesNi().
void AesNiEncryptBlocks(const uint8_t (&roundKeys)[11][16], const uint8_t* in, uint8_t* out, size_t length);
void AesNiDecryptBlocks(const uint8_t (&roundKeys)[11][16], const uint8_t* in, uint8_t* out, size_t length);

}  // namespace vellumo
