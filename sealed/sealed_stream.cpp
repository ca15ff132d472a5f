#include "sealed/sealed_stream.h"

#include <sodium.h>

#include <algorithm>

namespace vellumo {
namespace {

using Nonce = std::array<uint8_t, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES>;
static_assert(sizeof(Nonce) == 24 && kSealedTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(sizeof(SealedKeys::chunkKey) == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

// The file nonce, the chunk index in 7 bytes little-endian, then 1 for the
// last chunk and 0 for every other.
Nonce ChunkNonce(const FileNonce& file, uint64_t index, bool last) {
  Nonce nonce{};
  std::copy(file.begin(), file.end(), nonce.begin());
  for (size_t i = 0; i < 7; ++i) nonce[16 + i] = static_cast<uint8_t>(index >> (8 * i));
  nonce[23] = last ? 1 : 0;
  return nonce;
}

// The plaintext of `length` sealed bytes (at least a tag's).
size_t PlainLength(size_t length) { return length - kSealedTagSize; }

}  // namespace

SealedEncoder::SealedEncoder(const SealedKeys& keys, const KdfSalt& salt, const KdfParams& kdf, bool packed,
                             const FileNonce* fixedNonce)
    : keys_(keys) {
  InitSodium();
  if (fixedNonce) {
    nonce_ = *fixedNonce;
  } else {
    randombytes_buf(nonce_.data(), nonce_.size());
  }
  SealedHeader header;
  header.packed = packed;
  header.kdf = kdf;
  header.salt = salt;
  header.nonce = nonce_;
  header.keyCheck = keys.check;
  header_ = EncodeSealedHeader(header);
  pending_.reserve(kSealedChunkSize);
}

SealedEncoder::~SealedEncoder() { sodium_memzero(pending_.data(), pending_.size()); }

void SealedEncoder::StartOutput() {
  out_.clear();
  if (!headerOut_) out_.insert(out_.end(), header_.begin(), header_.end());
  headerOut_ = true;
}

void SealedEncoder::SealChunk(const uint8_t* plain, size_t length, bool last) {
  const Nonce nonce = ChunkNonce(nonce_, index_, last);
  // The header is the first chunk's additional data.
  const uint8_t* ad = index_ == 0 ? header_.data() : nullptr;
  const size_t adLength = index_ == 0 ? header_.size() : 0;
  const size_t at = out_.size();
  out_.resize(at + length + kSealedTagSize);
  crypto_aead_xchacha20poly1305_ietf_encrypt(out_.data() + at, nullptr, plain, length, ad, adLength, nullptr, nonce.data(),
                                             keys_.chunkKey.data());
  ++index_;
}

const std::vector<uint8_t>& SealedEncoder::Feed(const uint8_t* data, size_t length) {
  StartOutput();
  out_.reserve(out_.size() + length + (length / kSealedChunkSize + 2) * kSealedTagSize);
  while (length > 0) {
    if (pending_.size() == kSealedChunkSize) {
      SealChunk(pending_.data(), pending_.size(), false);  // more follows: not the last
      pending_.clear();
    }
    if (pending_.empty() && length > kSealedChunkSize) {
      // A whole chunk with more after it, sealed where it lies.
      SealChunk(data, kSealedChunkSize, false);
      data += kSealedChunkSize;
      length -= kSealedChunkSize;
      continue;
    }
    const size_t take = std::min(kSealedChunkSize - pending_.size(), length);
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    length -= take;
  }
  return out_;
}

const std::vector<uint8_t>& SealedEncoder::Finish() {
  StartOutput();
  SealChunk(pending_.data(), pending_.size(), true);
  sodium_memzero(pending_.data(), pending_.size());
  pending_.clear();
  return out_;
}

SealedDecoder::SealedDecoder(const SealedKeys& keys, const SealedHeader& header, const SealedHeaderBytes& headerBytes)
    : keys_(keys), header_(headerBytes), nonce_(header.nonce) {
  InitSodium();
  pending_.reserve(kSealedUnitSize);
}

SealedDecoder::~SealedDecoder() { sodium_memzero(out_.data(), out_.size()); }

bool SealedDecoder::OpenChunk(const uint8_t* sealed, size_t length, bool last) {
  const Nonce nonce = ChunkNonce(nonce_, index_, last);
  const uint8_t* ad = index_ == 0 ? header_.data() : nullptr;
  const size_t adLength = index_ == 0 ? header_.size() : 0;
  const size_t at = out_.size();
  out_.resize(at + PlainLength(length));
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(out_.data() + at, nullptr, nullptr, sealed, length, ad, adLength,
                                                 nonce.data(), keys_.chunkKey.data()) != 0) {
    sodium_memzero(out_.data(), out_.size());
    out_.clear();
    failed_ = true;
    return false;
  }
  ++index_;
  return true;
}

bool SealedDecoder::Feed(const uint8_t* data, size_t length) {
  out_.clear();
  if (failed_) return false;
  while (length > 0) {
    if (pending_.size() == kSealedUnitSize) {
      if (!OpenChunk(pending_.data(), pending_.size(), false)) return false;
      pending_.clear();
    }
    if (pending_.empty() && length > kSealedUnitSize) {
      if (!OpenChunk(data, kSealedUnitSize, false)) return false;
      data += kSealedUnitSize;
      length -= kSealedUnitSize;
      continue;
    }
    const size_t take = std::min(kSealedUnitSize - pending_.size(), length);
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    length -= take;
  }
  return true;
}

bool SealedDecoder::Finish() {
  sodium_memzero(out_.data(), out_.size());
  out_.clear();
  if (failed_) return false;
  // Every file has a last chunk, at least a tag long.
  if (pending_.size() < kSealedTagSize) {
    failed_ = true;
    return false;
  }
  return OpenChunk(pending_.data(), pending_.size(), true);
}

SealedError SealBytes(SealedKeyring& keyring, bool packed, const uint8_t* data, size_t length,
                      std::vector<uint8_t>& sealed) {
  SealedError error = SealedError::kNone;
  const SealedKeys* keys = keyring.WriteKeys(error);
  if (!keys) return error;
  SealedEncoder encoder(*keys, keyring.writeSalt(), keyring.writeKdf(), packed);
  sealed = encoder.Feed(data, length);
  const std::vector<uint8_t>& rest = encoder.Finish();
  sealed.insert(sealed.end(), rest.begin(), rest.end());
  return SealedError::kNone;
}

SealedError OpenSealedBytes(const uint8_t* bytes, size_t length, SealedKeyring& keyring, std::vector<uint8_t>& plain,
                            bool& packed) {
  plain.clear();
  SealedHeader header;
  const SealedKeys* keys = nullptr;
  if (SealedError opened = OpenSealedHeader(bytes, length, keyring, header, keys); opened != SealedError::kNone) {
    return opened;
  }
  SealedHeaderBytes headerBytes;
  std::copy_n(bytes, headerBytes.size(), headerBytes.begin());
  SealedDecoder decoder(*keys, header, headerBytes);
  if (!decoder.Feed(bytes + kSealedHeaderSize, length - kSealedHeaderSize)) return SealedError::kDamaged;
  plain = decoder.output();
  if (!decoder.Finish()) {
    sodium_memzero(plain.data(), plain.size());
    plain.clear();
    return SealedError::kDamaged;
  }
  plain.insert(plain.end(), decoder.output().begin(), decoder.output().end());
  packed = header.packed;
  return SealedError::kNone;
}

}  // namespace vellumo
