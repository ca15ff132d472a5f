#pragma once
// What the engine runs a file's bytes through on their way to the temporary
// file, one buffer at a time: the legacy body transform (in place, the same
// length), or the sealed format's encoder or decoder (output of another
// length, chunks held back across buffers). The streaming loop feeds every
// kind alike.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "crypto/cipher_algorithm.h"
#include "crypto/key_block.h"
#include "fileenc/body_transform.h"
#include "sealed/sealed_stream.h"

namespace vellumo {

struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

class BodyStream {
 public:
  virtual ~BodyStream() = default;
  // The bytes to write for `length` more bytes read into `buffer`, which the
  // stream may transform in place. False: the bytes read are refused (a
  // sealed chunk did not open); nothing more is to be written.
  virtual bool Next(uint8_t* buffer, size_t length, ByteView& out) = 0;
  // After the last buffer: what remains to be written. False as for Next.
  virtual bool End(ByteView& out) = 0;
};

// The legacy body, transformed chunk by chunk in place.
class LegacyBodyStream final : public BodyStream {
 public:
  LegacyBodyStream(CipherAlgorithm algorithm, Direction direction, const KeyBlock& key)
      : transformer_(algorithm, direction, key) {}
  bool Next(uint8_t* buffer, size_t length, ByteView& out) override;
  bool End(ByteView& out) override;

 private:
  BodyTransformer transformer_;
};

// Plaintext sealed: the header and the chunks. With a legacy key block, the
// bytes read are a legacy body, decrypted first with the header's cipher (an
// upgrade: the plaintext never leaves memory).
class SealingStream final : public BodyStream {
 public:
  SealingStream(const SealedKeys& keys, const KdfSalt& salt, const KdfParams& kdf, bool packed)
      : encoder_(keys, salt, kdf, packed) {}
  SealingStream(const SealedKeys& keys, const KdfSalt& salt, const KdfParams& kdf, bool packed,
                CipherAlgorithm legacyAlgorithm, const KeyBlock& legacyKey)
      : encoder_(keys, salt, kdf, packed), legacy_(std::in_place, legacyAlgorithm, Direction::kDecrypt, legacyKey) {}
  bool Next(uint8_t* buffer, size_t length, ByteView& out) override;
  bool End(ByteView& out) override;

 private:
  SealedEncoder encoder_;
  std::optional<BodyTransformer> legacy_;
};

// The chunks after a sealed header, opened.
class OpeningStream final : public BodyStream {
 public:
  OpeningStream(const SealedKeys& keys, const SealedHeader& header, const SealedHeaderBytes& headerBytes)
      : decoder_(keys, header, headerBytes) {}
  bool Next(uint8_t* buffer, size_t length, ByteView& out) override;
  bool End(ByteView& out) override;

 private:
  SealedDecoder decoder_;
};

}  // namespace vellumo
