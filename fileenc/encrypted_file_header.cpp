#include "fileenc/encrypted_file_header.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "crypto/crc32.h"
#include "crypto/des.h"
#include "crypto/rc4.h"

namespace vellumo {
namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Magic and the 15 signature characters; byte 19 is not part of the test.
constexpr size_t kIdentifyingBytes = 19;

}  // namespace

EncryptedFileHeader MakeHeader(int32_t algorithm, const KeyBlock& key, bool packed) {
  EncryptedFileHeader header;
  std::memcpy(header.signature.data(), kHeaderSignature, sizeof kHeaderSignature);
  header.algorithm = algorithm;
  header.keyCheck = Crc32Of(key.data(), key.size());
  header.packed = packed ? 1 : 0;
  return header;
}

std::array<uint8_t, kHeaderSize> EncodeHeader(const EncryptedFileHeader& header) {
  std::array<uint8_t, kHeaderSize> bytes{};
  Put32(&bytes[0], header.magic);
  std::memcpy(&bytes[4], header.signature.data(), 16);
  Put32(&bytes[20], static_cast<uint32_t>(header.algorithm));
  Put32(&bytes[24], header.keyCheck);
  Put32(&bytes[28], static_cast<uint32_t>(header.packed));
  std::memcpy(&bytes[32], header.reserved.data(), 32);
  return bytes;
}

EncryptedFileHeader DecodeHeader(const uint8_t* bytes) {
  EncryptedFileHeader header;
  header.magic = Get32(&bytes[0]);
  std::memcpy(header.signature.data(), &bytes[4], 16);
  header.algorithm = static_cast<int32_t>(Get32(&bytes[20]));
  header.keyCheck = Get32(&bytes[24]);
  header.packed = static_cast<int32_t>(Get32(&bytes[28]));
  std::memcpy(header.reserved.data(), &bytes[32], 32);
  return header;
}

bool WriteHeader(FileHandle& out, int32_t algorithm, const KeyBlock& key, bool packed) {
  const auto bytes = EncodeHeader(MakeHeader(algorithm, key, packed));
  return out.Write(bytes.data(), bytes.size());
}

HeaderCheck ClassifyHeader(const uint8_t* bytes, size_t fileLength, const KeyBlock& key) {
  HeaderCheck check;
  if (fileLength < kHeaderSize) return check;
  const auto reference = EncodeHeader(MakeHeader(kAes, key, false));
  if (std::memcmp(bytes, reference.data(), kIdentifyingBytes) != 0) return check;
  check.isEncrypted = true;
  check.keyMatches = Get32(&bytes[24]) == Get32(&reference[24]);
  return check;
}

HeaderCheck CheckHeader(FileHandle& in, const KeyBlock& key) {
  HeaderCheck check;
  const int64_t length = in.Size();
  if (length < 0) {
    check.readError = true;
    return check;
  }
  if (static_cast<uint64_t>(length) < kHeaderSize) return check;
  uint8_t bytes[kHeaderSize];
  if (in.Read(bytes, sizeof bytes) != static_cast<int64_t>(sizeof bytes)) {
    // The file was at least a header long a moment ago.
    check.readError = true;
    return check;
  }
  return ClassifyHeader(bytes, static_cast<size_t>(length), key);
}

void TransformChunk(int32_t algorithm, Direction direction, uint8_t* buffer, size_t length, const KeyBlock& key) {
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

BodyTransformer::BodyTransformer(int32_t algorithm, Direction direction, const KeyBlock& key, unsigned threads)
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

void BodyTransformer::Transform(uint8_t* buffer, size_t length) {
  const size_t whole = length - length % kChunkSize;
  TransformWholeChunks(buffer, whole);
  // The last, partial chunk of a file: its tail rule belongs to the cipher.
  if (whole < length) TransformChunk(algorithm_, direction_, buffer + whole, length - whole, key_);
}

void BodyTransformer::TransformWholeChunks(uint8_t* buffer, size_t length) const {
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
      DesInParallel(buffer, length);
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

void BodyTransformer::DesInParallel(uint8_t* buffer, size_t length) const {
  // Below this many chunks per thread, starting a thread costs more than it saves.
  constexpr size_t kMinChunksPerThread = 16;
  const size_t chunks = length / kChunkSize;
  const size_t parts = std::max<size_t>(1, std::min<size_t>(threads_, chunks / kMinChunksPerThread));
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
