#include "sealed/sealed_stream.h"

#include <sodium.h>

#include <algorithm>
#include <cassert>
#include <system_error>
#include <thread>

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

// Where a chunk stands in its file: what its nonce and additional data are made of.
struct ChunkPlace {
  const SealedKeys& keys;
  const SealedHeaderBytes& header;  // the first chunk's additional data
  const FileNonce& nonce;
};

void SealChunk(const ChunkPlace& place, uint64_t index, bool last, const uint8_t* plain, size_t length, uint8_t* out) {
  const Nonce nonce = ChunkNonce(place.nonce, index, last);
  crypto_aead_xchacha20poly1305_ietf_encrypt(out, nullptr, plain, length, index == 0 ? place.header.data() : nullptr,
                                             index == 0 ? place.header.size() : 0, nullptr, nonce.data(),
                                             place.keys.chunkKey.data());
}

// False when the chunk does not authenticate; `out` then holds nothing of it.
bool OpenChunk(const ChunkPlace& place, uint64_t index, bool last, const uint8_t* sealed, size_t length, uint8_t* out) {
  const Nonce nonce = ChunkNonce(place.nonce, index, last);
  return crypto_aead_xchacha20poly1305_ietf_decrypt(out, nullptr, nullptr, sealed, length,
                                                    index == 0 ? place.header.data() : nullptr,
                                                    index == 0 ? place.header.size() : 0, nonce.data(),
                                                    place.keys.chunkKey.data()) == 0;
}

unsigned Processors() {
  static const unsigned processors = std::max(std::thread::hardware_concurrency(), 1u);
  return processors;
}

// Runs job(i) for every i below `count`, spread over up to `threads` threads
// when there are enough chunks for it: chunks are independent of each other.
// True when every job returned true.
template <class Job>
bool ForEachChunk(size_t count, const Job& job, unsigned threads = Processors()) {
  // Below this many chunks (256 KiB) per thread, starting one costs more than it saves.
  constexpr size_t kMinChunksPerThread = 4;
  const size_t parts = std::max<size_t>(1, std::min<size_t>(threads, count / kMinChunksPerThread));
  std::vector<char> ok(parts, 1);
  auto run = [&job, &ok, count, parts](size_t part) {
    for (size_t i = count * part / parts; i < count * (part + 1) / parts; ++i) {
      if (!job(i)) ok[part] = 0;
    }
  };
  std::vector<std::thread> workers;
  for (size_t part = 1; part < parts; ++part) {
    try {
      workers.emplace_back(run, part);
    } catch (const std::system_error&) {
      run(part);  // no thread to be had: do the share here
    }
  }
  run(0);
  for (std::thread& worker : workers) worker.join();
  return std::all_of(ok.begin(), ok.end(), [](char c) { return c != 0; });
}

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

void SealedEncoder::SealPending(bool last) {
  const size_t at = out_.size();
  out_.resize(at + pending_.size() + kSealedTagSize);
  SealChunk({keys_, header_, nonce_}, index_++, last, pending_.data(), pending_.size(), out_.data() + at);
  sodium_memzero(pending_.data(), pending_.size());
  pending_.clear();
}

const std::vector<uint8_t>& SealedEncoder::Feed(const uint8_t* data, size_t length) {
  StartOutput();
  if (length == 0) return out_;
  // The chunk held back is topped up, and sealed once more input follows it.
  if (!pending_.empty()) {
    const size_t take = std::min(kSealedChunkSize - pending_.size(), length);
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    length -= take;
    if (length == 0) return out_;
    SealPending(false);
  }
  // Whole chunks with more input after them, sealed where they lie.
  const size_t whole = (length - 1) / kSealedChunkSize;
  const size_t at = out_.size();
  out_.resize(at + whole * kSealedUnitSize);
  const ChunkPlace place{keys_, header_, nonce_};
  const uint64_t first = index_;
  ForEachChunk(whole, [&](size_t i) {
    SealChunk(place, first + i, false, data + i * kSealedChunkSize, kSealedChunkSize,
              out_.data() + at + i * kSealedUnitSize);
    return true;
  });
  index_ += whole;
  // The rest, 1 to 64 KiB, waits: it may be the last.
  pending_.assign(data + whole * kSealedChunkSize, data + length);
  return out_;
}

const std::vector<uint8_t>& SealedEncoder::Finish() {
  StartOutput();
  SealPending(true);
  return out_;
}

size_t SealedEncoder::SealedSize(uint64_t offset, size_t length, bool last) {
  const size_t chunks = last ? std::max<size_t>(1, (length + kSealedChunkSize - 1) / kSealedChunkSize)
                             : length / kSealedChunkSize;
  return (offset == 0 ? kSealedHeaderSize : 0) + length + chunks * kSealedTagSize;
}

size_t SealedEncoder::SealBuffer(uint64_t offset, const uint8_t* plain, size_t length, bool last, uint8_t* out,
                                 unsigned threads) const {
  assert(offset % kSealedChunkSize == 0 && (last || length % kSealedChunkSize == 0));
  size_t at = 0;
  if (offset == 0) {
    std::copy(header_.begin(), header_.end(), out);
    at = header_.size();
  }
  // Whole chunks that are not the file's last, sealed where they lie; then
  // the last one, 0 to 64 KiB.
  const size_t whole = last ? (length == 0 ? 0 : (length - 1) / kSealedChunkSize) : length / kSealedChunkSize;
  const ChunkPlace place{keys_, header_, nonce_};
  const uint64_t first = offset / kSealedChunkSize;
  ForEachChunk(
      whole,
      [&](size_t i) {
        SealChunk(place, first + i, false, plain + i * kSealedChunkSize, kSealedChunkSize,
                  out + at + i * kSealedUnitSize);
        return true;
      },
      threads);
  at += whole * kSealedUnitSize;
  if (last) {
    const size_t rest = length - whole * kSealedChunkSize;
    SealChunk(place, first + whole, true, plain + whole * kSealedChunkSize, rest, out + at);
    at += rest + kSealedTagSize;
  }
  return at;
}

SealedDecoder::SealedDecoder(const SealedKeys& keys, const SealedHeader& header, const SealedHeaderBytes& headerBytes)
    : keys_(keys), header_(headerBytes), nonce_(header.nonce) {
  InitSodium();
  pending_.reserve(kSealedUnitSize);
}

SealedDecoder::~SealedDecoder() { sodium_memzero(out_.data(), out_.size()); }

bool SealedDecoder::Refuse() {
  sodium_memzero(out_.data(), out_.size());
  out_.clear();
  failed_ = true;
  return false;
}

bool SealedDecoder::OpenPending(bool last) {
  // Every chunk is at least a tag long.
  if (pending_.size() < kSealedTagSize) return Refuse();
  const size_t at = out_.size();
  out_.resize(at + pending_.size() - kSealedTagSize);
  if (!OpenChunk({keys_, header_, nonce_}, index_++, last, pending_.data(), pending_.size(), out_.data() + at)) {
    return Refuse();
  }
  pending_.clear();
  return true;
}

bool SealedDecoder::Feed(const uint8_t* data, size_t length) {
  sodium_memzero(out_.data(), out_.size());
  out_.clear();
  if (failed_) return false;
  if (length == 0) return true;
  if (!pending_.empty()) {
    const size_t take = std::min(kSealedUnitSize - pending_.size(), length);
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    length -= take;
    if (length == 0) return true;
    if (!OpenPending(false)) return false;
  }
  const size_t whole = (length - 1) / kSealedUnitSize;
  const size_t at = out_.size();
  out_.resize(at + whole * kSealedChunkSize);
  const ChunkPlace place{keys_, header_, nonce_};
  const uint64_t first = index_;
  const bool opened = ForEachChunk(whole, [&](size_t i) {
    return OpenChunk(place, first + i, false, data + i * kSealedUnitSize, kSealedUnitSize,
                     out_.data() + at + i * kSealedChunkSize);
  });
  if (!opened) return Refuse();
  index_ += whole;
  pending_.assign(data + whole * kSealedUnitSize, data + length);
  return true;
}

bool SealedDecoder::Finish() {
  sodium_memzero(out_.data(), out_.size());
  out_.clear();
  if (failed_) return false;
  return OpenPending(true);
}

bool SealedDecoder::OpenBuffer(uint64_t offset, const uint8_t* sealed, size_t length, bool last, uint8_t* out,
                               size_t& produced, unsigned threads) const {
  assert(offset % kSealedUnitSize == 0 && (last || length % kSealedUnitSize == 0));
  produced = 0;
  // The last chunk is at least a tag long: a body that ends on a whole chunk
  // not sealed as the last one (or has none) is cut short.
  const size_t whole = last ? (length == 0 ? 0 : (length - 1) / kSealedUnitSize) : length / kSealedUnitSize;
  const size_t rest = length - whole * kSealedUnitSize;
  if (last && rest < kSealedTagSize) return false;
  const ChunkPlace place{keys_, header_, nonce_};
  const uint64_t first = offset / kSealedUnitSize;
  bool opened = ForEachChunk(
      whole,
      [&](size_t i) {
        return OpenChunk(place, first + i, false, sealed + i * kSealedUnitSize, kSealedUnitSize,
                         out + i * kSealedChunkSize);
      },
      threads);
  size_t plain = whole * kSealedChunkSize;
  if (opened && last) {
    opened = OpenChunk(place, first + whole, true, sealed + whole * kSealedUnitSize, rest, out + plain);
    plain += rest - kSealedTagSize;
  }
  if (!opened) {
    // Nothing of a buffer that did not open is handed out.
    sodium_memzero(out, plain);
    return false;
  }
  produced = plain;
  return true;
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
