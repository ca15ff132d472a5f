#include "fileenc/body_transform.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "crypto/des.h"
#include "crypto/rc4.h"

namespace vellumo {

void TransformChunk(CipherAlgorithm algorithm, Direction direction, uint8_t* buffer, size_t length, const KeyBlock& key) {
  const auto n = static_cast<uint32_t>(length);
  const bool encrypt = direction == Direction::kEncrypt;
  switch (algorithm) {
    case kAes:
      if (encrypt) {
        AesEncryptBuffer(buffer, n, key);
      } else {
        AesDecryptBuffer(buffer, n, key);
      }
      break;
    case kDes:
      // Below 16 bytes there is nothing to cipher and the whole chunk stays clear.
      if (encrypt) {
        DesEncryptBuffer(buffer, n, key.data(), 16);
      } else {
        DesDecryptBuffer(buffer, n, key.data(), 16);
      }
      break;
    case kRc4:
      Rc4CryptBuffer(buffer, n, key.data(), 16);
      break;
    default:
      break;
  }
}

BodyTransformer::BodyTransformer(CipherAlgorithm algorithm, Direction direction, const KeyBlock& key, unsigned threads)
    : algorithm_(algorithm), direction_(direction), key_(key), threads_(std::max(threads, 1u)) {
  if (algorithm_ == kAes) aes_.LoadKey(key_.data());
  if (algorithm_ == kDes) des_.emplace(key_.data(), 16);
  if (algorithm_ == kRc4) Rc4CryptBuffer(rc4Stream_.data(), kChunkSize, key_.data(), 16);
}

unsigned BodyTransformer::DefaultThreads() {
  // Asked once: the answer can cost system calls, and every file asks.
  static const unsigned threads = std::max(std::thread::hardware_concurrency(), 1u);
  return threads;
}

void BodyTransformer::Transform(uint8_t* buffer, size_t length, unsigned threads) const {
  const size_t whole = length - length % kChunkSize;
  TransformWholeChunks(buffer, whole, threads);
  // The last, partial chunk of a file: its tail rule belongs to the cipher.
  if (whole < length) TransformChunk(algorithm_, direction_, buffer + whole, length - whole, key_);
}

void BodyTransformer::TransformWholeChunks(uint8_t* buffer, size_t length, unsigned threads) const {
  const bool encrypt = direction_ == Direction::kEncrypt;
  switch (algorithm_) {
    case kAes:
      if (encrypt) {
        aes_.EncryptBlocks(buffer, buffer, length);
      } else {
        aes_.DecryptBlocks(buffer, buffer, length);
      }
      break;
    case kDes:
      DesInParallel(buffer, length, threads);
      break;
    case kRc4:
      // The keystream restarts at every chunk, so every whole chunk meets the same one.
      for (size_t at = 0; at < length; at += kChunkSize) {
        for (size_t i = 0; i < kChunkSize; ++i) buffer[at + i] ^= rc4Stream_[i];
      }
      break;
    default:
      break;
  }
}

void BodyTransformer::DesInParallel(uint8_t* buffer, size_t length, unsigned threads) const {
  // Below this many chunks per thread, starting a thread costs more than it saves.
  constexpr size_t kMinChunksPerThread = 16;
  const size_t chunks = length / kChunkSize;
  const size_t parts = std::max<size_t>(1, std::min<size_t>(std::max(threads, 1u), chunks / kMinChunksPerThread));
  const bool encrypt = direction_ == Direction::kEncrypt;
  auto run = [this, encrypt](uint8_t* at, size_t n) {
    if (encrypt) {
      des_->EncryptBlocks(at, n);
    } else {
      des_->DecryptBlocks(at, n);
    }
  };
  std::vector<std::thread> workers;
  size_t done = 0;
  for (size_t part = 0; part < parts; ++part) {
    const size_t n = (chunks * (part + 1) / parts - chunks * part / parts) * kChunkSize;
    if (part + 1 == parts) {
      run(buffer + done, n);  // the calling thread takes the last share
    } else {
      try {
        workers.emplace_back(run, buffer + done, n);
      } catch (const std::system_error&) {
        run(buffer + done, n);  // no thread to be had: do the share here
      }
    }
    done += n;
  }
  for (std::thread& worker : workers) worker.join();
}

}  // namespace vellumo
