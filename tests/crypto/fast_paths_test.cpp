// The bulk paths against the reference engines they replace: AES instructions
// against the table AES, the fast DES (tables, SSE2 and, where the processor
// has it, AVX2 slicing) against the word DES. Many keys and lengths, both
// directions, plus the shared vectors for every fast DES path.
// crypto/des_sbox_circuits.inc is generated from the S-box tables; a circuit
// that differs from its table in one entry fails the DES cases here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes_ni.h"
#include "crypto/des.h"
#include "crypto/des_fast.h"
#include "crypto/des_sliced.h"
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

// Every slicing this processor can run; the first test reports which ran.
std::vector<CDesFast::Slicing> RunnableSlicings() {
  std::vector<CDesFast::Slicing> out = {CDesFast::Slicing::kSse2};
  if (CDesFast::Fastest() == CDesFast::Slicing::kAvx2) out.push_back(CDesFast::Slicing::kAvx2);
  return out;
}

void RunDes(const CDesFast& des, int direction, std::vector<uint8_t>& data, size_t length) {
  if (direction == CEncryptDes::kEncrypt) {
    des.EncryptBlocks(data.data(), length);
  } else {
    des.DecryptBlocks(data.data(), length);
  }
}

TEST(FastPaths, DesTakesAvx2OnlyWhereItRunsAndCanBeHeldToSse2) {
  const uint8_t key[16] = {7};
  const bool avx2 = des_sliced::CpuHasAvx2();
  EXPECT_EQ(CDesFast(key, 16).slicing(), avx2 ? CDesFast::Slicing::kAvx2 : CDesFast::Slicing::kSse2);
  EXPECT_EQ(CDesFast(key, 16, CDesFast::Slicing::kSse2).slicing(), CDesFast::Slicing::kSse2);
  EXPECT_EQ(CDesFast(key, 16, CDesFast::Slicing::kAvx2).slicing(),
            avx2 ? CDesFast::Slicing::kAvx2 : CDesFast::Slicing::kSse2);
  std::string ran;
  for (CDesFast::Slicing slicing : RunnableSlicings()) ran += std::string(ran.empty() ? "" : " ") + CDesFast::Name(slicing);
  RecordProperty("des_slicings", ran);
  std::printf("DES fast paths checked on this processor: tables %s\n", ran.c_str());
}

TEST(FastPaths, DesEqualsTheWordEngineForEveryPathKeyLengthAndDirection) {
  // Whole 1024-byte runs and a tail of 8-byte blocks: AVX2 takes runs in
  // pairs, SSE2 the odd run left over, the tables the tail. ECB ciphers each
  // block on its own, so every length is checked against a prefix of one
  // reference result (the word DES is the slow part of this test).
  struct Shape {
    size_t runs, tailBlocks;
  };
  const Shape shapes[] = {{0, 1}, {0, 127}, {1, 0}, {1, 1}, {2, 0}, {2, 5}, {3, 0}, {3, 127}, {4, 0}, {4, 127}};
  const size_t longest = CDesFast::kSliceBytes * 4 + 8 * 127;
  std::mt19937 gen(46);
  for (uint32_t keyLength = 1; keyLength <= 16; ++keyLength) {
    for (int k = 0; k < 4; ++k) {
      const auto key = RandomBytes(gen, 16);
      const auto in = RandomBytes(gen, longest);
      for (int direction : {CEncryptDes::kEncrypt, CEncryptDes::kDecrypt}) {
        std::vector<uint8_t> expected(longest);
        CEncryptDes reference;
        reference.Process(expected.data(), in.data(), static_cast<uint32_t>(longest), key.data(), keyLength,
                          direction);
        for (CDesFast::Slicing slicing : RunnableSlicings()) {
          const CDesFast fast(key.data(), keyLength, slicing);
          for (const Shape& shape : shapes) {
            const size_t length = CDesFast::kSliceBytes * shape.runs + 8 * shape.tailBlocks;
            auto actual = in;
            RunDes(fast, direction, actual, length);
            ASSERT_EQ(ToHex(actual.data(), length), ToHex(expected.data(), length))
                << CDesFast::Name(slicing) << ", key " << ToHex(key) << " length " << keyLength << ", direction "
                << direction << ", " << shape.runs << " runs + " << shape.tailBlocks << " blocks";
            // Nothing beyond `length` is touched.
            ASSERT_TRUE(std::equal(actual.begin() + length, actual.end(), in.begin() + length));
          }
        }
      }
    }
  }
}

// ECB ciphers every 8-byte block on its own, so a vector's blocks repeated
// until they fill several runs must give its output repeated: that takes the
// vectors through the sliced paths too, not only the tables.
std::vector<uint8_t> Repeated(const std::vector<uint8_t>& blocks, size_t minLength) {
  std::vector<uint8_t> out;
  while (out.size() < minLength) out.insert(out.end(), blocks.begin(), blocks.end());
  return out;
}

TEST(FastPaths, DesMatchesTheSharedVectorsOnEveryPath) {
  constexpr size_t kLong = 3 * CDesFast::kSliceBytes + 8;
  for (CDesFast::Slicing slicing : RunnableSlicings()) {
    SCOPED_TRACE(CDesFast::Name(slicing));
    int processed = 0, buffers = 0;
    for (const auto& v : Vectors()["des_process"]) {
      const auto in = FromHex(v["in_hex"]);
      if (!v["ok"].get<bool>() || in.size() % 8 != 0) continue;
      SCOPED_TRACE(v["note"].get<std::string>());
      const auto key = FromHex(v["key_hex"]);
      const CDesFast fast(key.data(), v["key_length"].get<uint32_t>(), slicing);
      const auto out = FromHex(v["out_hex"]);
      auto data = in;
      RunDes(fast, v["direction"].get<int>(), data, data.size());
      EXPECT_EQ(ToHex(data), ToHex(out));
      data = Repeated(in, kLong);
      RunDes(fast, v["direction"].get<int>(), data, data.size());
      EXPECT_EQ(ToHex(data), ToHex(Repeated(out, kLong)));
      ++processed;
    }
    for (const auto& v : Vectors()["des_buffers"]) {
      SCOPED_TRACE(v["key"].get<std::string>());
      const auto plain = FromHex(v["plain_hex"]);
      const auto encrypted = FromHex(v["encrypted_hex"]);
      const auto key = FromHex(v["key_block_hex"]);
      const CDesFast fast(key.data(), v["key_length"].get<uint32_t>(), slicing);
      const size_t whole = plain.size() - plain.size() % 16;
      auto data = plain;
      RunDes(fast, CEncryptDes::kEncrypt, data, whole);
      EXPECT_EQ(ToHex(data), ToHex(encrypted));
      if (whole > 0) {
        data = Repeated(std::vector<uint8_t>(plain.begin(), plain.begin() + whole), kLong);
        RunDes(fast, CEncryptDes::kEncrypt, data, data.size());
        EXPECT_EQ(ToHex(data), ToHex(Repeated(std::vector<uint8_t>(encrypted.begin(), encrypted.begin() + whole), kLong)));
      }
      ++buffers;
    }
    EXPECT_GT(processed, 0);
    EXPECT_GT(buffers, 0);
  }
}

}  // namespace
}  // namespace vellumo
