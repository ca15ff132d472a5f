#pragma once
// The two formats an encrypted file can be in.

namespace vellumo {

// Which format encryption writes; decryption tells them apart by their bytes.
enum class FileFormat {
  kLegacy,  // the 64-byte header and a legacy cipher (AES, DES, RC4) under the key block
  kSealed,  // the sealed format (sealed/sealed_format.h): Argon2id, authenticated chunks
};

}  // namespace vellumo
