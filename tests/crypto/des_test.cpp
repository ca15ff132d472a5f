// The DES variant: the shared vectors, a plain bit-per-byte model of the
// three variant features checked against the vector matrix (so the fast word
// implementation is checked against an independent one), and thread safety.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "crypto/des.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::FromHex;
using testing::ToHex;
using testing::Vectors;

// A deliberately naive DES with switches for the variant's three features:
// bit order inside bytes, S-box output order and the final swap.
struct ModelDes {
  bool lsbFirst, reverseNibble, noSwap;

  static constexpr int IP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                 62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                 57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                 61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
  static constexpr int E[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                                12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                                22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};
  static constexpr int P[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
  static constexpr int PC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                  10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                  63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                  14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
  static constexpr int PC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                  26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                  51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
  static constexpr int Shifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
  // S-boxes row by row, as printed.
  static constexpr int S[8][4][16] = {
      {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7}, {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
       {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0}, {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
      {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10}, {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
       {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15}, {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
      {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8}, {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
       {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7}, {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
      {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15}, {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
       {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4}, {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
      {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9}, {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
       {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14}, {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
      {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11}, {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
       {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6}, {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
      {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1}, {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
       {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2}, {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
      {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7}, {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
       {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8}, {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

  void ToBits(const uint8_t* bytes, int* bits) const {
    for (int k = 0; k < 64; ++k) bits[k] = (bytes[k / 8] >> (lsbFirst ? k % 8 : 7 - k % 8)) & 1;
  }
  void FromBits(const int* bits, uint8_t* bytes) const {
    std::memset(bytes, 0, 8);
    for (int k = 0; k < 64; ++k) bytes[k / 8] |= bits[k] << (lsbFirst ? k % 8 : 7 - k % 8);
  }

  std::vector<uint8_t> Encrypt(const std::vector<uint8_t>& key, const std::vector<uint8_t>& plain) const {
    int kb[64], cd[56], sub[16][48];
    ToBits(key.data(), kb);
    for (int i = 0; i < 56; ++i) cd[i] = kb[PC1[i] - 1];
    for (int r = 0; r < 16; ++r) {
      for (int s = 0; s < Shifts[r]; ++s) {
        int c0 = cd[0], d0 = cd[28];
        for (int i = 0; i < 27; ++i) {
          cd[i] = cd[i + 1];
          cd[28 + i] = cd[29 + i];
        }
        cd[27] = c0;
        cd[55] = d0;
      }
      for (int i = 0; i < 48; ++i) sub[r][i] = cd[PC2[i] - 1];
    }
    int in[64], lr[64];
    ToBits(plain.data(), in);
    for (int i = 0; i < 64; ++i) lr[i] = in[IP[i] - 1];
    int* l = lr;
    int* r = lr + 32;
    for (int round = 0; round < 16; ++round) {
      int x[48], f[32], out[32];
      for (int i = 0; i < 48; ++i) x[i] = r[E[i] - 1] ^ sub[round][i];
      for (int s = 0; s < 8; ++s) {
        const int* b = x + 6 * s;
        int v = S[s][2 * b[0] + b[5]][8 * b[1] + 4 * b[2] + 2 * b[3] + b[4]];
        for (int j = 0; j < 4; ++j) f[4 * s + j] = reverseNibble ? (v >> j) & 1 : (v >> (3 - j)) & 1;
      }
      for (int i = 0; i < 32; ++i) out[i] = l[i] ^ f[P[i] - 1];
      std::memcpy(l, r, sizeof(int) * 32);
      std::memcpy(r, out, sizeof(int) * 32);
    }
    int pre[64], fin[64];
    for (int i = 0; i < 32; ++i) {
      pre[i] = noSwap ? l[i] : r[i];
      pre[32 + i] = noSwap ? r[i] : l[i];
    }
    // IP^-1 is the inverse permutation of IP.
    for (int i = 0; i < 64; ++i) fin[IP[i] - 1] = pre[i];
    std::vector<uint8_t> outBytes(8);
    FromBits(fin, outBytes.data());
    return outBytes;
  }
};

TEST(Des, VariantFeatureMatrixMatchesTheModel) {
  // Every row checks the model; the row with all three features is the
  // program's variant and must match CEncryptDes as well.
  int variantRows = 0;
  for (const auto& v : Vectors()["des_switch_matrix"]) {
    ModelDes model{v["lsb_first"], v["reverse_sbox_nibble"], v["no_final_swap"]};
    auto key = FromHex(v["key_hex"]);
    auto plain = FromHex(v["plain_hex"]);
    std::string expected = v["encrypted_hex"];
    EXPECT_EQ(ToHex(model.Encrypt(key, plain)), expected) << v.dump();
    if (model.lsbFirst && model.reverseNibble && model.noSwap) {
      ++variantRows;
      CEncryptDes des;
      std::vector<uint8_t> out(8);
      ASSERT_TRUE(des.Process(out.data(), plain.data(), 8, key.data(), 8, CEncryptDes::kEncrypt));
      EXPECT_EQ(ToHex(out), expected);
    }
  }
  EXPECT_GT(variantRows, 0);
}

TEST(Des, ModelAgreesOnRandomKeysAndBlocks) {
  uint32_t seed = 12345;
  auto next = [&] { return static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16); };
  ModelDes model{true, true, true};
  for (int i = 0; i < 64; ++i) {
    std::vector<uint8_t> key(8), block(8), out(8);
    for (auto& b : key) b = next();
    for (auto& b : block) b = next();
    CEncryptDes des;
    des.Process(out.data(), block.data(), 8, key.data(), 8, CEncryptDes::kEncrypt);
    ASSERT_EQ(ToHex(out), ToHex(model.Encrypt(key, block)));
  }
}

TEST(Des, ProcessVectorsForEveryKeyLength) {
  for (const auto& v : Vectors()["des_process"]) {
    SCOPED_TRACE(v["note"].get<std::string>());
    auto key = FromHex(v["key_hex"]);
    auto in = FromHex(v["in_hex"]);
    std::vector<uint8_t> out(in.size());
    CEncryptDes des;
    EXPECT_EQ(des.Process(out.data(), in.data(), static_cast<uint32_t>(in.size()), key.data(),
                          v["key_length"].get<uint32_t>(), v["direction"].get<int>()),
              v["ok"].get<bool>());
    EXPECT_EQ(ToHex(out), v["out_hex"].get<std::string>());
  }
}

TEST(Des, BufferVectorsAndClearTail) {
  for (const auto& v : Vectors()["des_buffers"]) {
    SCOPED_TRACE(v["key"].get<std::string>() + " length " + std::to_string(v["length"].get<int>()));
    auto key = FromHex(v["key_block_hex"]);
    auto buf = FromHex(v["plain_hex"]);
    uint32_t n = static_cast<uint32_t>(buf.size());
    EXPECT_EQ(DesEncryptBuffer(buf.data(), n, key.data(), 16), v["ok"].get<bool>());
    EXPECT_EQ(ToHex(buf), v["encrypted_hex"].get<std::string>());
    EXPECT_EQ(DesDecryptBuffer(buf.data(), n, key.data(), 16), v["ok"].get<bool>());
    EXPECT_EQ(ToHex(buf), v["plain_hex"].get<std::string>());
  }
}

TEST(Des, NullArgumentsAreRefused) {
  uint8_t buf[8] = {}, key[8] = {};
  CEncryptDes des;
  EXPECT_FALSE(des.Process(nullptr, buf, 8, key, 8, 0));
  EXPECT_FALSE(des.Process(buf, nullptr, 8, key, 8, 0));
  EXPECT_FALSE(des.Process(buf, buf, 8, nullptr, 8, 0));
  EXPECT_FALSE(des.Process(buf, buf, 0, key, 8, 0));
}

TEST(Des, TwoRunsAtOnceDoNotDisturbEachOther) {
  std::vector<uint8_t> plain(64 * 1024);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7);
  const uint8_t keyA[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const uint8_t keyB[16] = {0xF0, 0xE1, 0xD2, 0xC3};
  auto expectA = plain, expectB = plain;
  DesEncryptBuffer(expectA.data(), static_cast<uint32_t>(expectA.size()), keyA, 16);
  DesEncryptBuffer(expectB.data(), static_cast<uint32_t>(expectB.size()), keyB, 16);

  for (int round = 0; round < 4; ++round) {
    auto a = plain, b = plain;
    auto run = [](std::vector<uint8_t>& buf, const uint8_t* key) {
      for (size_t off = 0; off < buf.size(); off += 1024) DesEncryptBuffer(buf.data() + off, 1024, key, 16);
    };
    std::thread ta(run, std::ref(a), keyA), tb(run, std::ref(b), keyB);
    ta.join();
    tb.join();
    ASSERT_EQ(expectA, a);
    ASSERT_EQ(expectB, b);
  }
}

}  // namespace
}  // namespace vellumo
