#include "fileenc/encrypted_file_header.h"

#include <cstring>

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

BodyTransformer::BodyTransformer(int32_t algorithm, Direction direction, const KeyBlock& key)
    : algorithm_(algorithm), direction_(direction), key_(key) {
  if (algorithm_ == kAes) aes_.LoadKey(key_.data());
  if (algorithm_ == kRc4) Rc4CryptBuffer(rc4Stream_.data(), kChunkSize, key_.data(), 16);
}

void BodyTransformer::Transform(uint8_t* buffer, size_t length) {
  for (size_t at = 0; at < length; at += kChunkSize) {
    uint8_t* chunk = buffer + at;
    const size_t n = length - at < kChunkSize ? length - at : kChunkSize;
    if (n < kChunkSize) {
      // The last, partial chunk of a file: its tail rule belongs to the cipher.
      TransformChunk(algorithm_, direction_, chunk, n, key_);
      continue;
    }
    switch (algorithm_) {
      case kAes:
        if (direction_ == Direction::kEncrypt) {
          aes_.EncryptBlocks(chunk, chunk, kChunkSize);
        } else {
          aes_.DecryptBlocks(chunk, chunk, kChunkSize);
        }
        break;
      case kRc4:
        // The keystream restarts at every chunk, so every whole chunk meets the same one.
        for (size_t i = 0; i < kChunkSize; ++i) chunk[i] ^= rc4Stream_[i];
        break;
      default:
        TransformChunk(algorithm_, direction_, chunk, n, key_);
        break;
    }
  }
}

}  // namespace vellumo
