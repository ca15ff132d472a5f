#include "fileenc/encrypted_file_header.h"

#include <cstring>

#include "crypto/crc32.h"

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

EncryptedFileHeader MakeHeader(CipherAlgorithm algorithm, const KeyBlock& key, bool packed) {
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

}  // namespace vellumo
