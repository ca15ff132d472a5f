// The encrypted file layout: header bytes, classification of a file by its
// first bytes, and the per-chunk body transform with its tail rules.
#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "crypto/rijndael.h"
#include "fileenc/body_transform.h"
#include "fileenc/encrypted_file_header.h"
#include "file_test_paths.h"
#include "test_support.h"

namespace vellumo {
namespace {

using testing::RandomBytes;
using testing::FromHex;
using testing::TempDir;
using testing::ToHex;
using testing::W;
using testing::WriteFileBytes;

KeyBlock Block(const std::string& hex) {
  KeyBlock key{};
  const auto bytes = FromHex(hex);
  std::copy(bytes.begin(), bytes.end(), key.begin());
  return key;
}

const KeyBlock kKey = Block("30313233343536373839616263646566");       // "0123456789abcdef"
const KeyBlock kOtherKey = Block("bcd3c3dcb2e2cad4c3dcd4bf00000000");  // a GBK key text

std::vector<uint8_t> ValidHeader(const KeyBlock& key) {
  const auto h = EncodeHeader(MakeHeader(kAes, key, false));
  return {h.begin(), h.end()};
}

TEST(EncryptedFileHeader, BytesOnDisk) {
  const auto bytes = EncodeHeader(MakeHeader(kRc4, kKey, true));
  // CRC-32 of the key block from zlib, an implementation of its own.
  const uint32_t crc = static_cast<uint32_t>(::crc32(0L, kKey.data(), 16));
  uint8_t crcLe[4];
  for (int i = 0; i < 4; ++i) crcLe[i] = static_cast<uint8_t>(crc >> (8 * i));
  const std::string expected = "87654321" "6b7a7077343831376e6176726f746400" "02000000" + ToHex(crcLe, 4) +
                               "01000000" + std::string(64, '0');
  EXPECT_EQ(ToHex(bytes.data(), bytes.size()), expected);

  EncryptedFileHeader odd;
  odd.magic = 0x01020304;
  odd.algorithm = -7;
  odd.keyCheck = 0xA1B2C3D4;
  odd.packed = 0x7FFFFFFF;
  for (size_t i = 0; i < odd.reserved.size(); ++i) odd.reserved[i] = static_cast<uint8_t>(i + 1);
  odd.signature[15] = 0x55;
  const auto back = DecodeHeader(EncodeHeader(odd).data());
  EXPECT_EQ(back.magic, odd.magic);
  EXPECT_EQ(back.signature, odd.signature);
  EXPECT_EQ(back.algorithm, odd.algorithm);
  EXPECT_EQ(back.keyCheck, odd.keyCheck);
  EXPECT_EQ(back.packed, odd.packed);
  EXPECT_EQ(back.reserved, odd.reserved);
}

TEST(EncryptedFileHeader, ClassifiesFilesByTheirFirstNineteenBytesAndKeyCheck) {
  struct Case {
    const char* what;
    size_t offset;  // byte to overwrite, or SIZE_MAX for none
    uint8_t value;
    bool isEncrypted;
  };
  const std::vector<Case> cases = {
      {"a valid header", SIZE_MAX, 0, true},
      {"byte 19, the signature's zero", 19, 0x7A, true},
      {"an unknown algorithm", 20, 0x63, true},
      {"a packed value of 5", 28, 5, true},
      {"a reserved byte", 40, 0xFF, true},
      {"the last reserved byte", 63, 0x01, true},
      {"the first magic byte", 0, 0x88, false},
      {"the last magic byte", 3, 0x20, false},
      {"the first signature character", 4, 'K', false},
      {"the last signature character", 18, 'D', false},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = ValidHeader(kKey);
    if (c.offset != SIZE_MAX) bytes[c.offset] = c.value;
    bytes.push_back(0xEE);  // first body byte
    WriteFileBytes(dir / "f", bytes);
    FileHandle in;
    ASSERT_TRUE(in.OpenReadExclusive(W(dir / "f")));
    const HeaderCheck right = CheckHeader(in, kKey);
    EXPECT_FALSE(right.readError) << c.what;
    EXPECT_EQ(right.isEncrypted, c.isEncrypted) << c.what;
    EXPECT_EQ(right.keyMatches, c.isEncrypted) << c.what;
    // The position is after the header.
    uint8_t next = 0;
    EXPECT_EQ(in.Read(&next, 1), 1) << c.what;
    EXPECT_EQ(next, 0xEE) << c.what;
    ASSERT_TRUE(in.Seek(0));
    const HeaderCheck wrong = CheckHeader(in, kOtherKey);
    EXPECT_EQ(wrong.isEncrypted, c.isEncrypted) << c.what;
    EXPECT_FALSE(wrong.keyMatches) << c.what;
  }
}

TEST(EncryptedFileHeader, FilesShorterThanAHeaderAreNeverEncrypted) {
  TempDir dir;
  const std::vector<uint8_t> header = ValidHeader(kKey);
  for (size_t length = 0; length < kHeaderSize; ++length) {
    WriteFileBytes(dir / "short", std::vector<uint8_t>(header.begin(), header.begin() + static_cast<long>(length)));
    FileHandle in;
    ASSERT_TRUE(in.OpenReadExclusive(W(dir / "short")));
    const HeaderCheck check = CheckHeader(in, kKey);
    EXPECT_FALSE(check.isEncrypted) << length;
    EXPECT_FALSE(check.keyMatches) << length;
    EXPECT_FALSE(check.readError) << length;
  }
  // Exactly a header: an encrypted empty file.
  WriteFileBytes(dir / "short", header);
  FileHandle in;
  ASSERT_TRUE(in.OpenReadExclusive(W(dir / "short")));
  EXPECT_TRUE(CheckHeader(in, kKey).isEncrypted);
}

TEST(TransformChunk, AesCiphersWholeBlocksAndXorsTheTailWithItsPositions) {
  CRijndael aes;
  aes.LoadKey(kKey.data());
  for (size_t n : {size_t{1}, size_t{16}, size_t{17}, size_t{31}, size_t{1024}}) {
    const auto plain = RandomBytes(n, static_cast<unsigned>(n));
    auto chunk = plain;
    TransformChunk(kAes, Direction::kEncrypt, chunk.data(), n, kKey);
    const size_t whole = n - n % 16;
    for (size_t at = 0; at < whole; at += 16) {
      uint8_t block[16];
      aes.EncryptOneBlock(&plain[at], block);
      EXPECT_EQ(0, std::memcmp(block, &chunk[at], 16)) << n << " block at " << at;
    }
    for (size_t i = 0; whole + i < n; ++i) {
      EXPECT_EQ(chunk[whole + i], plain[whole + i] ^ static_cast<uint8_t>(i)) << n << " tail byte " << i;
    }
    TransformChunk(kAes, Direction::kDecrypt, chunk.data(), n, kKey);
    EXPECT_EQ(chunk, plain) << n;
  }
}

TEST(TransformChunk, DesLeavesTheBytesAfterTheLastWhole16InTheClear) {
  for (size_t n : {size_t{15}, size_t{16}, size_t{20}, size_t{1023}}) {
    const auto plain = RandomBytes(n, static_cast<unsigned>(n));
    auto chunk = plain;
    TransformChunk(kDes, Direction::kEncrypt, chunk.data(), n, kKey);
    const size_t ciphered = n - n % 16;
    EXPECT_TRUE(std::equal(chunk.begin() + static_cast<long>(ciphered), chunk.end(),
                           plain.begin() + static_cast<long>(ciphered)))
        << n;
    for (size_t at = 0; at < ciphered; at += 8) {
      EXPECT_NE(0, std::memcmp(&chunk[at], &plain[at], 8)) << n << " block at " << at;
    }
    TransformChunk(kDes, Direction::kDecrypt, chunk.data(), n, kKey);
    EXPECT_EQ(chunk, plain) << n;
  }
}

TEST(TransformChunk, Rc4RestartsItsKeystreamInEveryChunk) {
  std::vector<uint8_t> body(2048, 0x5A);
  BodyTransformer(kRc4, Direction::kEncrypt, kKey).Transform(body.data(), body.size());
  EXPECT_TRUE(std::equal(body.begin(), body.begin() + 1024, body.begin() + 1024));
  EXPECT_NE(body[0], 0x5A);
  // The one operation is its own inverse.
  TransformChunk(kRc4, Direction::kDecrypt, body.data(), 1024, kKey);
  EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.begin() + 1024), std::vector<uint8_t>(1024, 0x5A));
}

TEST(TransformChunk, UnknownCipherIdsCopyTheBytes) {
  const auto plain = RandomBytes(3000, 3);
  for (int32_t id : {3, -1, 1000, INT32_MIN, INT32_MAX}) {
    for (Direction d : {Direction::kEncrypt, Direction::kDecrypt}) {
      auto chunk = plain;
      TransformChunk(id, d, chunk.data(), 1000, kKey);
      EXPECT_EQ(chunk, plain) << id;
      BodyTransformer(id, d, kKey).Transform(chunk.data(), chunk.size());
      EXPECT_EQ(chunk, plain) << id;
    }
  }
}

// The streaming transformer sets each cipher up once; it must give the bytes
// of a fresh cipher per 1024-byte chunk, in both directions, at every length.
TEST(BodyTransformer, EqualsChunkByChunkTransform) {
  for (int32_t id : {kAes, kDes, kRc4}) {
    for (Direction d : {Direction::kEncrypt, Direction::kDecrypt}) {
      for (size_t n : {size_t{1}, size_t{17}, size_t{1024}, size_t{1025}, size_t{5 * 1024 + 31}, size_t{64 * 1024 + 1}}) {
        const auto input = RandomBytes(n, static_cast<unsigned>(n + id));
        auto expected = input;
        for (size_t at = 0; at < n; at += kChunkSize) {
          TransformChunk(id, d, expected.data() + at, std::min(kChunkSize, n - at), kKey);
        }
        auto actual = input;
        BodyTransformer(id, d, kKey).Transform(actual.data(), n);
        EXPECT_EQ(actual, expected) << "cipher " << id << " length " << n;
      }
    }
  }
}

// Whole chunks are shared out among threads; the shares must meet exactly,
// whatever the thread count, chunk count and tail, and whatever the key.
TEST(BodyTransformer, ThreadedTransformEqualsChunkByChunkTransform) {
  const std::pair<const KeyBlock*, Direction> runs[] = {{&kKey, Direction::kEncrypt},
                                                        {&kOtherKey, Direction::kDecrypt}};
  for (const auto& [key, d] : runs) {
    // 33 chunks split in two at most; 67 and a tail in up to four shares.
    for (size_t n : {size_t{33 * 1024}, size_t{67 * 1024 + 9}}) {
      const auto input = RandomBytes(n, static_cast<unsigned>(n));
      auto expected = input;
      for (size_t at = 0; at < n; at += kChunkSize) {
        TransformChunk(kDes, d, expected.data() + at, std::min(kChunkSize, n - at), *key);
      }
      for (unsigned threads : {1u, 2u, 3u, 8u}) {
        auto actual = input;
        BodyTransformer(kDes, d, *key, threads).Transform(actual.data(), n);
        EXPECT_EQ(actual, expected) << "length " << n << " threads " << threads;
      }
    }
  }
}

}  // namespace
}  // namespace vellumo
