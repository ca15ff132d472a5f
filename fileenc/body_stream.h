#pragma once
// What the engine runs a file's bytes through on their way to the temporary
// file, one buffer at a time: the legacy body transform (in place, the same
// length), or the sealed format's encoder or decoder (output of another
// length, into space of its own). The streaming loop cuts the body into
// buffers of whole units of the stream (chunks, or sealed chunks with their
// tags), so every buffer can be transformed on its own, several at once on
// different threads, and feeds every kind alike.
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

// One buffer of a body for a stream to transform.
struct BodyBuffer {
  uint64_t offset = 0;    // bytes of the body before it: a multiple of the stream's unit
  uint8_t* bytes = nullptr;  // as read; the stream may change them
  size_t length = 0;      // whole units, unless it is the last buffer
  // Nothing follows. Only the last buffer of a body may be empty, and only
  // when it is the only one: a body that ends on a whole unit ends with that
  // unit in its last buffer.
  bool last = false;
};

class BodyStream {
 public:
  virtual ~BodyStream() = default;
  // Every buffer but a body's last is a whole number of these bytes.
  virtual size_t Unit() const = 0;
  // Bytes of output space a buffer of `length` bytes needs (besides the
  // buffer itself); 0 for a stream that transforms in place.
  virtual size_t SpaceFor(size_t length) const = 0;
  // The length of the whole output for a body of `length` bytes, as far as it
  // can be told before the body is read (it ends up shorter if the body is
  // refused).
  virtual uint64_t OutputLength(uint64_t length) const = 0;
  // Transforms `buffer` into `out`, which then points into the buffer or into
  // `space` (SpaceFor(buffer.length) bytes). `threads` may share this one
  // buffer. False: the bytes read are refused (a sealed chunk did not open)
  // and `out` is empty. Safe to call for different buffers at once.
  virtual bool Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const = 0;
};

// The legacy body, transformed chunk by chunk in place.
class LegacyBodyStream final : public BodyStream {
 public:
  LegacyBodyStream(CipherAlgorithm algorithm, Direction direction, const KeyBlock& key)
      : transformer_(algorithm, direction, key) {}
  size_t Unit() const override { return kChunkSize; }
  size_t SpaceFor(size_t) const override { return 0; }
  uint64_t OutputLength(uint64_t length) const override { return length; }
  bool Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const override;

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
  size_t Unit() const override { return kSealedChunkSize; }
  size_t SpaceFor(size_t length) const override { return SealedEncoder::SealedSize(0, length, true); }
  uint64_t OutputLength(uint64_t length) const override;
  bool Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const override;

 private:
  SealedEncoder encoder_;
  std::optional<BodyTransformer> legacy_;
};

// The chunks after a sealed header, opened.
class OpeningStream final : public BodyStream {
 public:
  OpeningStream(const SealedKeys& keys, const SealedHeader& header, const SealedHeaderBytes& headerBytes)
      : decoder_(keys, header, headerBytes) {}
  size_t Unit() const override { return kSealedUnitSize; }
  size_t SpaceFor(size_t length) const override { return length; }
  uint64_t OutputLength(uint64_t length) const override;
  bool Transform(const BodyBuffer& buffer, uint8_t* space, ByteView& out, unsigned threads) const override;

 private:
  SealedDecoder decoder_;
};

}  // namespace vellumo
