#pragma once
// The body of an encrypted file: the plaintext transformed in chunks of 1024
// bytes, each with a freshly set up cipher, so the body is exactly as long as
// the plaintext and every chunk can be transformed on its own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "crypto/cipher_algorithm.h"
#include "crypto/des_fast.h"
#include "crypto/key_block.h"
#include "crypto/rijndael.h"
#include "fileenc/encrypted_file_header.h"

namespace vellumo {

// Transforms one chunk (1 to 1024 bytes) in place with a cipher set up for it
// alone. An unknown cipher id leaves the chunk as it is.
void TransformChunk(CipherAlgorithm algorithm, Direction direction, uint8_t* buffer, size_t length, const KeyBlock& key);

// Transforms a run of consecutive chunks in place: every chunk but possibly the
// last must be whole. The result is byte for byte that of TransformChunk on
// each chunk; the per-chunk cipher setup, which is the same for every whole
// chunk, is done once here. Chunks are independent, so DES, the one cipher
// slower than the disk, spreads whole chunks over `threads` threads.
class BodyTransformer {
 public:
  BodyTransformer(CipherAlgorithm algorithm, Direction direction, const KeyBlock& key, unsigned threads = DefaultThreads());
  void Transform(uint8_t* buffer, size_t length) const { Transform(buffer, length, threads_); }
  // The same on at most `threads` threads, whatever the transformer was made
  // with. Safe to call for different buffers at once.
  void Transform(uint8_t* buffer, size_t length, unsigned threads) const;

  // One per processor.
  static unsigned DefaultThreads();

 private:
  void TransformWholeChunks(uint8_t* buffer, size_t length, unsigned threads) const;
  void DesInParallel(uint8_t* buffer, size_t length, unsigned threads) const;

  CipherAlgorithm algorithm_;
  Direction direction_;
  KeyBlock key_;
  unsigned threads_;
  CRijndael aes_;
  std::optional<CDesFast> des_;
  std::array<uint8_t, kChunkSize> rc4Stream_{};  // keystream of one whole chunk
};

}  // namespace vellumo
