// AES and RC4: published vectors, the shared reference vectors and the tail
// rule of the buffer operations.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "crypto/rc4.h"
#include "crypto/rijndael.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::FromHex;
using testing::ToHex;
using testing::Vectors;

KeyBlock KeyBlockFromHex(const std::string& hex) {
  auto bytes = FromHex(hex);
  KeyBlock k{};
  std::memcpy(k.data(), bytes.data(), k.size());
  return k;
}

TEST(Aes, PublishedEcbVectors) {
  // FIPS-197 C.1 and SP 800-38A F.1.1, encrypt and decrypt, block by block.
  for (const auto& v : Vectors()["aes_blocks"]) {
    SCOPED_TRACE(v["source"].get<std::string>());
    auto key = FromHex(v["key_hex"]);
    auto plain = FromHex(v["plain_hex"]);
    auto expected = FromHex(v["cipher_hex"]);
    CRijndael aes;
    aes.LoadKey(key.data());
    std::vector<uint8_t> out(plain.size());
    aes.EncryptBlocks(plain.data(), out.data(), plain.size());
    EXPECT_EQ(ToHex(out), ToHex(expected));
    aes.DecryptBlocks(out.data(), out.data(), out.size());
    EXPECT_EQ(ToHex(out), ToHex(plain));
  }
}

TEST(Aes, ReferenceBuffersBothDirections) {
  for (const auto& v : Vectors()["aes_buffers"]) {
    SCOPED_TRACE(v["key"].get<std::string>() + " length " + std::to_string(v["length"].get<int>()));
    KeyBlock key = KeyBlockFromHex(v["key_block_hex"]);
    auto buf = FromHex(v["plain_hex"]);
    AesEncryptBuffer(buf.data(), static_cast<uint32_t>(buf.size()), key);
    EXPECT_EQ(ToHex(buf), v["encrypted_hex"].get<std::string>());
    AesDecryptBuffer(buf.data(), static_cast<uint32_t>(buf.size()), key);
    EXPECT_EQ(ToHex(buf), v["plain_hex"].get<std::string>());
  }
}

TEST(Aes, TailIsXoredWithItsPositionOnly) {
  KeyBlock key{};
  uint8_t five[5] = {9, 9, 9, 9, 9};
  AesEncryptBuffer(five, 5, key);
  const uint8_t expected[5] = {9, 9 ^ 1, 9 ^ 2, 9 ^ 3, 9 ^ 4};
  EXPECT_EQ(0, std::memcmp(five, expected, 5));

  // 17 bytes: the first 16 are the block cipher's, the 17th stays as it was.
  std::vector<uint8_t> buf(17, 0x5A), block(16, 0x5A);
  AesEncryptBuffer(buf.data(), 17, key);
  CRijndael aes;
  aes.LoadKey(key.data());
  aes.EncryptOneBlock(block.data(), block.data());
  EXPECT_EQ(0, std::memcmp(buf.data(), block.data(), 16));
  EXPECT_EQ(0x5A, buf[16]);
}

TEST(Aes, EcbShowsRepeatedBlocksAndEveryLengthRoundTrips) {
  KeyBlock key = KeyBlockFromHex("000102030405060708090a0b0c0d0e0f");
  std::vector<uint8_t> chunk(1024, 0x11);
  AesEncryptBuffer(chunk.data(), 1024, key);
  for (size_t i = 16; i < 1024; i += 16) ASSERT_EQ(0, std::memcmp(chunk.data(), chunk.data() + i, 16));

  for (uint32_t n = 0; n <= 70; ++n) {
    std::vector<uint8_t> plain(n);
    std::iota(plain.begin(), plain.end(), static_cast<uint8_t>(n));
    auto buf = plain;
    AesEncryptBuffer(buf.data(), n, key);
    AesDecryptBuffer(buf.data(), n, key);
    ASSERT_EQ(plain, buf) << "length " << n;
  }
}

TEST(Rc4, PublishedAndReferenceKeystreams) {
  for (const auto& v : Vectors()["rc4"]) {
    auto key = FromHex(v["key_hex"]);
    auto buf = FromHex(v["plain_hex"]);
    Rc4CryptBuffer(buf.data(), static_cast<uint32_t>(buf.size()), key.data(), static_cast<uint32_t>(key.size()));
    EXPECT_EQ(ToHex(buf), v["cipher_hex"].get<std::string>());
  }
}

TEST(Rc4, EveryCallRestartsTheKeystream) {
  const uint8_t key[16] = {1, 2, 3};
  std::vector<uint8_t> a(64, 0x00), b(64, 0xFF);
  Rc4CryptBuffer(a.data(), 64, key, 16);
  Rc4CryptBuffer(b.data(), 64, key, 16);
  for (size_t i = 0; i < 64; ++i) ASSERT_EQ(a[i] ^ b[i], 0xFF);
  Rc4CryptBuffer(a.data(), 64, key, 16);
  EXPECT_EQ(std::vector<uint8_t>(64, 0x00), a);

  // Consecutive Crypt calls on one object continue the stream instead.
  CEncryptRc4 rc4;
  std::vector<uint8_t> whole(64, 0), parts(64, 0);
  rc4.CryptWithKey(whole.data(), 64, key, 16);
  rc4.Schedule(key, 16);
  rc4.Crypt(parts.data(), 10);
  rc4.Crypt(parts.data() + 10, 54);
  EXPECT_EQ(whole, parts);
}

}  // namespace
}  // namespace vellumo
