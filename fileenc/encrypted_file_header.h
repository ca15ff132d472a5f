#pragma once
// The encrypted file layout: a 64-byte header (magic, signature, cipher id, key
// check, packed flag, reserved zeros; integers little-endian), then the
// plaintext transformed in chunks of 1024 bytes, each with a freshly set up
// cipher, so the body is exactly as long as the plaintext.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "crypto/des_fast.h"
#include "crypto/key_block.h"
#include "crypto/rijndael.h"
#include "platform/file_system.h"

namespace vellumo {

enum CipherAlgorithm : int32_t { kAes = 0, kDes = 1, kRc4 = 2 };
enum class Direction { kEncrypt, kDecrypt };

constexpr uint32_t kHeaderMagic = 0x21436587;
constexpr char kHeaderSignature[16] = "kzpw4817navrotd";  // 15 characters and a zero byte
constexpr size_t kHeaderSize = 64;
constexpr size_t kChunkSize = 1024;

struct EncryptedFileHeader {
  uint32_t magic = kHeaderMagic;
  std::array<uint8_t, 16> signature{};
  int32_t algorithm = kAes;
  uint32_t keyCheck = 0;
  int32_t packed = 0;
  std::array<uint8_t, 32> reserved{};
};

// The header a writer puts in front of a body made with `key` and `algorithm`.
EncryptedFileHeader MakeHeader(int32_t algorithm, const KeyBlock& key, bool packed);
std::array<uint8_t, kHeaderSize> EncodeHeader(const EncryptedFileHeader& header);
EncryptedFileHeader DecodeHeader(const uint8_t* bytes);  // kHeaderSize bytes

// Writes the 64 header bytes at the current position; false on a write error.
bool WriteHeader(FileHandle& out, int32_t algorithm, const KeyBlock& key, bool packed);

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

// Transforms one chunk (1 to 1024 bytes) in place with a cipher set up for it
// alone. An unknown cipher id leaves the chunk as it is.
void TransformChunk(int32_t algorithm, Direction direction, uint8_t* buffer, size_t length, const KeyBlock& key);

// Transforms a run of consecutive chunks in place: every chunk but possibly the
// last must be whole. The result is byte for byte that of TransformChunk on
// each chunk; the per-chunk cipher setup, which is the same for every whole
// chunk, is done once here. Chunks are independent, so DES, the one cipher
// slower than the disk, spreads whole chunks over `threads` threads.
class BodyTransformer {
 public:
  BodyTransformer(int32_t algorithm, Direction direction, const KeyBlock& key, unsigned threads = DefaultThreads());
  void Transform(uint8_t* buffer, size_t length);

  // One per processor.
  static unsigned DefaultThreads();

 private:
  void TransformWholeChunks(uint8_t* buffer, size_t length) const;
  void DesInParallel(uint8_t* buffer, size_t length) const;

  int32_t algorithm_;
  Direction direction_;
  KeyBlock key_;
  unsigned threads_;
  CRijndael aes_;
  std::optional<CDesFast> des_;
  std::array<uint8_t, kChunkSize> rc4Stream_{};  // keystream of one whole chunk
};

}  // namespace vellumo
