#pragma once
// The encrypted file layout: a 64-byte header (magic, signature, cipher id, key
// check, packed flag, reserved zeros; integers little-endian), then the
// plaintext transformed in chunks of 1024 bytes, each with a freshly set up
// cipher, so the body is exactly as long as the plaintext (body_transform.h).
#include <array>
#include <cstddef>
#include <cstdint>

#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "platform/file_system.h"

namespace vellumo {

constexpr uint32_t kHeaderMagic = 0x21436587;
constexpr char kHeaderSignature[16] = "kzpw4817navrotd";  // 15 characters and a zero byte
constexpr size_t kHeaderSize = 64;
constexpr size_t kChunkSize = 1024;

struct EncryptedFileHeader {
  uint32_t magic = kHeaderMagic;
  std::array<uint8_t, 16> signature{};
  CipherAlgorithm algorithm = kAes;
  uint32_t keyCheck = 0;
  int32_t packed = 0;
  std::array<uint8_t, 32> reserved{};
};

// The header a writer puts in front of a body made with `key` and `algorithm`.
EncryptedFileHeader MakeHeader(CipherAlgorithm algorithm, const KeyBlock& key, bool packed);
std::array<uint8_t, kHeaderSize> EncodeHeader(const EncryptedFileHeader& header);
EncryptedFileHeader DecodeHeader(const uint8_t* bytes);  // kHeaderSize bytes

struct HeaderCheck {
  bool isEncrypted = false;
  bool keyMatches = false;  // never true when isEncrypted is false
  bool readError = false;   // the file could not be measured or read
};

// Classifies the file open in `in`, positioned at offset 0: shorter than 64
// bytes, or a first 19 bytes other than magic and signature, is not encrypted;
// the rest of the header is not looked at except the key check. Leaves the
// position after the header.
HeaderCheck CheckHeader(FileHandle& in, const KeyBlock& key);
// The same decision on bytes already in memory.
HeaderCheck ClassifyHeader(const uint8_t* bytes, size_t fileLength, const KeyBlock& key);

}  // namespace vellumo
