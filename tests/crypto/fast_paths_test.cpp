// The bulk paths against the reference engines they replace: AES instructions
// against the table AES, the combined-table DES against the word DES. Many
// keys and lengths, both directions, plus the shared vectors for fast DES.
// crypto/des_sbox_circuits.inc is generated from the S-box tables; a circuit
// that differs from its table in one entry fails the DES cases here.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "crypto/aes_ni.h"
#include "crypto/des.h"
#include "crypto/des_fast.h"
#include "crypto/rijndael.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::FromHex;
using testing::ToHex;
using testing::Vectors;

std::vector<uint8_t> RandomBytes(std::mt19937& gen, size_t n) {
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(gen());
  return out;
}

TEST(FastPaths, FastestAesTakesTheInstructionsWhenTheProcessorHasThem) {
  CRijndael fastest, table(CRijndael::Engine::kTable);
  EXPECT_EQ(fastest.usesAesNi(), CpuHasAesNi());
  EXPECT_FALSE(table.usesAesNi());
  RecordProperty("aes_ni", CpuHasAesNi() ? "yes" : "no");
}

TEST(FastPaths, AesEqualsTheTablePathForManyKeysAndLengths) {
  std::mt19937 gen(2024);
  for (int k = 0; k < 24; ++k) {
    const auto key = RandomBytes(gen, 16);
    CRijndael fastest, table(CRijndael::Engine::kTable);
    fastest.LoadKey(key.data());
    table.LoadKey(key.data());
    // Lengths around the eight-block groups of the instruction path.
    for (size_t blocks : {1, 2, 7, 8, 9, 15, 16, 17, 64, 65 + k}) {
      const auto plain = RandomBytes(gen, 16 * blocks);
      std::vector<uint8_t> a(plain.size()), b(plain.size());
      fastest.EncryptBlocks(plain.data(), a.data(), a.size());
      table.EncryptBlocks(plain.data(), b.data(), b.size());
      ASSERT_EQ(ToHex(a), ToHex(b)) << "encrypt, key " << ToHex(key) << ", " << blocks << " blocks";
      fastest.DecryptBlocks(plain.data(), a.data(), a.size());
      table.DecryptBlocks(plain.data(), b.data(), b.size());
      ASSERT_EQ(ToHex(a), ToHex(b)) << "decrypt, key " << ToHex(key) << ", " << blocks << " blocks";
      fastest.EncryptBlocks(a.data(), a.data(), a.size());  // in place, and back
      ASSERT_EQ(a, plain);
    }
  }
}

TEST(FastPaths, DesEqualsTheWordEngineForEveryKeyLengthAndDirection) {
  std::mt19937 gen(46);
  for (uint32_t keyLength = 1; keyLength <= 16; ++keyLength) {
    for (int k = 0; k < 6; ++k) {
      const auto key = RandomBytes(gen, 16);
      const CDesFast fast(key.data(), keyLength);
      for (int direction : {CEncryptDes::kEncrypt, CEncryptDes::kDecrypt}) {
        // Short runs take the tables; whole 1024-byte runs the sliced path.
        const size_t length = 8 * (1 + gen() % 40) + CDesFast::kSliceBytes * (k % 3);
        const auto in = RandomBytes(gen, length);
        std::vector<uint8_t> expected(length);
        CEncryptDes reference;
        reference.Process(expected.data(), in.data(), static_cast<uint32_t>(length), key.data(), keyLength, direction);
        auto actual = in;
        if (direction == CEncryptDes::kEncrypt) {
          fast.EncryptBlocks(actual.data(), length);
        } else {
          fast.DecryptBlocks(actual.data(), length);
        }
        ASSERT_EQ(ToHex(actual), ToHex(expected))
            << "key " << ToHex(key) << " length " << keyLength << " direction " << direction;
      }
    }
  }
}

TEST(FastPaths, DesMatchesTheSharedVectors) {
  for (const auto& v : Vectors()["des_process"]) {
    auto in = FromHex(v["in_hex"]);
    if (!v["ok"].get<bool>() || in.size() % 8 != 0) continue;
    SCOPED_TRACE(v["note"].get<std::string>());
    const auto key = FromHex(v["key_hex"]);
    const CDesFast fast(key.data(), v["key_length"].get<uint32_t>());
    if (v["direction"].get<int>() == CEncryptDes::kEncrypt) {
      fast.EncryptBlocks(in.data(), in.size());
    } else {
      fast.DecryptBlocks(in.data(), in.size());
    }
    EXPECT_EQ(ToHex(in), v["out_hex"].get<std::string>());
  }
  int buffers = 0;
  for (const auto& v : Vectors()["des_buffers"]) {
    auto data = FromHex(v["plain_hex"]);
    const auto key = FromHex(v["key_block_hex"]);
    const uint32_t keyLength = v["key_length"].get<uint32_t>();
    const size_t whole = data.size() - data.size() % 16;
    CDesFast(key.data(), keyLength).EncryptBlocks(data.data(), whole);
    EXPECT_EQ(ToHex(data), v["encrypted_hex"].get<std::string>()) << v["key"].get<std::string>();
    ++buffers;
  }
  EXPECT_GT(buffers, 0);
}

}  // namespace
}  // namespace vellumo
