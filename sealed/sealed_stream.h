#pragma once
// The body of a sealed file, fed piece by piece in either direction: every
// chunk of 64 KiB of plaintext is sealed on its own with XChaCha20-Poly1305
// under the chunk key and a nonce of the file nonce, the chunk's index and a
// last-chunk flag; the first chunk's additional data is the header. A wrong
// key, a changed, reordered, dropped or added chunk and a cut-off end all make
// a chunk fail to open.
//
// Both sides hold back the last chunk they were fed until they know whether
// more follows, since only the last chunk is sealed as the last. Nothing is
// handed out unopened: the decoder's output is authenticated plaintext.
// Chunks are independent of each other, so the whole chunks of one buffer are
// sealed or opened on every processor.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sealed/sealed_format.h"
#include "sealed/sealed_keys.h"

namespace vellumo {

class SealedEncoder {
 public:
  // Seals under `keys` (derived for `salt` and `kdf`). The file nonce is
  // random unless `fixedNonce` gives it (known-answer files only).
  SealedEncoder(const SealedKeys& keys, const KdfSalt& salt, const KdfParams& kdf, bool packed,
                const FileNonce* fixedNonce = nullptr);
  ~SealedEncoder();
  SealedEncoder(const SealedEncoder&) = delete;
  SealedEncoder& operator=(const SealedEncoder&) = delete;

  // The sealed bytes that `length` more bytes of plaintext complete: the
  // header first, then every whole chunk but the last one fed.
  const std::vector<uint8_t>& Feed(const uint8_t* data, size_t length);
  // After the last plaintext: the rest, ending with the last chunk (an empty
  // one for an empty plaintext).
  const std::vector<uint8_t>& Finish();

  const SealedHeaderBytes& header() const { return header_; }

  // For a caller that cuts the plaintext into buffers itself, and may seal
  // several at once on different threads: seals the `length` bytes of
  // plaintext that begin at byte `offset` of the file (a multiple of
  // kSealedChunkSize), the header first when `offset` is 0. A buffer that is
  // not the file's `last` holds whole chunks. Writes SealedSize(offset,
  // length, last) bytes to `out` and returns that; `threads` may share the
  // buffer's chunks. Feed and Finish are not to be mixed with it.
  size_t SealBuffer(uint64_t offset, const uint8_t* plain, size_t length, bool last, uint8_t* out,
                    unsigned threads) const;
  static size_t SealedSize(uint64_t offset, size_t length, bool last);

 private:
  void StartOutput();
  void SealPending(bool last);

  const SealedKeys& keys_;
  SealedHeaderBytes header_{};
  FileNonce nonce_{};
  uint64_t index_ = 0;
  bool headerOut_ = false;
  std::vector<uint8_t> pending_;  // plaintext of the chunk held back
  std::vector<uint8_t> out_;
};

class SealedDecoder {
 public:
  // Opens the chunks that follow a header that OpenSealedHeader accepted with
  // these keys: `header` as decoded, `headerBytes` as read (the first chunk's
  // additional data).
  SealedDecoder(const SealedKeys& keys, const SealedHeader& header, const SealedHeaderBytes& headerBytes);
  ~SealedDecoder();
  SealedDecoder(const SealedDecoder&) = delete;
  SealedDecoder& operator=(const SealedDecoder&) = delete;

  // Takes `length` more sealed bytes and opens the chunks they complete (all
  // but the last); output() holds their plaintext. False: a chunk did not
  // open, and nothing more will.
  bool Feed(const uint8_t* data, size_t length);
  // After the last sealed bytes: opens the last chunk. False: it did not open
  // (or the body was cut short before it).
  bool Finish();
  // The plaintext of the last Feed or Finish.
  const std::vector<uint8_t>& output() const { return out_; }

  // For a caller that cuts the body into buffers itself, and may open
  // several at once on different threads: opens the `length` sealed bytes
  // that begin at byte `offset` of the body after the header (a multiple of
  // kSealedUnitSize). A buffer that is not the body's `last` holds whole
  // chunks; the last buffer ends with the last chunk, so a body that ends on a
  // whole chunk must come with that chunk in its last buffer, never with an
  // empty last buffer after it. Writes the plaintext (at most `length` bytes)
  // to `out` and its length to `produced`. False: a chunk did not open, and
  // `out` holds nothing of the buffer. Feed and Finish are not to be mixed
  // with it.
  bool OpenBuffer(uint64_t offset, const uint8_t* sealed, size_t length, bool last, uint8_t* out, size_t& produced,
                  unsigned threads) const;

 private:
  bool OpenPending(bool last);
  bool Refuse();  // nothing more opens, and nothing opened so far in this call is handed out

  const SealedKeys& keys_;
  SealedHeaderBytes header_;
  FileNonce nonce_{};
  uint64_t index_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> pending_;  // sealed bytes of the chunk held back
  std::vector<uint8_t> out_;
};

// Seals a whole plaintext at once through `keyring` (its salt and parameters).
SealedError SealBytes(SealedKeyring& keyring, bool packed, const uint8_t* data, size_t length,
                      std::vector<uint8_t>& sealed);
// Opens whole sealed bytes at once: kNone with the plaintext and the packed
// flag, or why not (plain is then empty).
SealedError OpenSealedBytes(const uint8_t* bytes, size_t length, SealedKeyring& keyring, std::vector<uint8_t>& plain,
                            bool& packed);

}  // namespace vellumo
