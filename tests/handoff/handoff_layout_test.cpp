// The handoff block's layout: the reference blocks byte for byte, reading
// rules, and the cut after the entry that passes the limit.
#include <gtest/gtest.h>

#include <cstring>

#include "handoff/handoff_layout.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::FromHex;
using testing::Vectors;
using testing::Widen;

// A small SHA-256 for comparing whole blocks with the reference digests.
std::string Sha256Hex(const uint8_t* data, size_t len) {
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
      0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
      0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
      0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
      0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
      0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
      0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
      0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::vector<uint8_t> m(data, data + len);
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 7; i >= 0; --i) m.push_back(static_cast<uint8_t>((uint64_t{len} * 8) >> (8 * i)));
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t off = 0; off < m.size(); off += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (uint32_t{m[off + 4 * i]} << 24) | (uint32_t{m[off + 4 * i + 1]} << 16) | (uint32_t{m[off + 4 * i + 2]} << 8) |
             m[off + 4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
  }
  uint8_t out[32];
  for (int i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
  return testing::ToHex(out, 32);
}

std::vector<uint8_t> BlockBytes(const std::vector<uint16_t>& block) {
  std::vector<uint8_t> bytes(block.size() * 2);
  for (size_t i = 0; i < block.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(block[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(block[i] >> 8);
  }
  return bytes;
}

std::vector<uint16_t> BlockFromHead(const std::vector<uint8_t>& head) {
  std::vector<uint16_t> block(kHandoffBlockSize / 2, 0);
  for (size_t i = 0; i + 1 < head.size(); i += 2) block[i / 2] = static_cast<uint16_t>(head[i] | (head[i + 1] << 8));
  return block;
}

TEST(HandoffLayout, ReferenceBlocksByteForByte) {
  for (const auto& v : Vectors()["handoff_write"]) {
    SCOPED_TRACE(v["name"].get<std::string>());
    std::vector<std::wstring> paths;
    for (const auto& p : v["paths"]) paths.push_back(Widen(p));
    std::vector<uint16_t> block = EncodeHandoffBlock(paths);
    std::vector<uint8_t> bytes = BlockBytes(block);
    ASSERT_EQ(bytes.size(), v["block_length"].get<size_t>());
    auto head = FromHex(v["head_hex"]);
    EXPECT_EQ(0, std::memcmp(bytes.data(), head.data(), head.size()));
    size_t endMark = v["end_mark_offset"];
    EXPECT_EQ(0, block[endMark / 2]);
    EXPECT_EQ(Sha256Hex(bytes.data(), bytes.size()), v["sha256"].get<std::string>());

    std::vector<std::wstring> expected;
    for (const auto& p : v["read_back"]) expected.push_back(Widen(p));
    EXPECT_EQ(DecodeHandoffBlock(block.data(), block.size()), expected);
  }
}

TEST(HandoffLayout, ReadingRules) {
  for (const auto& v : Vectors()["handoff_read"]) {
    SCOPED_TRACE(v["note"].get<std::string>());
    std::vector<uint16_t> block = BlockFromHead(FromHex(v["block_head_hex"]));
    std::vector<std::wstring> expected;
    for (const auto& p : v["expected"]) expected.push_back(Widen(p));
    EXPECT_EQ(DecodeHandoffBlock(block.data(), block.size()), expected);
  }
}

TEST(HandoffLayout, BlockWithoutEndMarkOrSeparator) {
  // Every unit non-zero: the scan stops at the block's end, not beyond it.
  std::vector<uint16_t> full(kHandoffBlockSize / 2, u'a');
  full[3] = u'|';
  EXPECT_EQ(DecodeHandoffBlock(full.data(), full.size()), std::vector<std::wstring>{L"aaa"});
  std::vector<uint16_t> noSeparator(kHandoffBlockSize / 2, u'b');
  EXPECT_TRUE(DecodeHandoffBlock(noSeparator.data(), noSeparator.size()).empty());
}

TEST(HandoffLayout, LongEntriesAreTakenWhole) {
  std::wstring longPath = L"C:\\" + std::wstring(600, L'x') + L"\\file.txt";
  std::vector<uint16_t> block = EncodeHandoffBlock({longPath, L"D:\\next"});
  EXPECT_EQ(DecodeHandoffBlock(block.data(), block.size()), (std::vector<std::wstring>{longPath, L"D:\\next"}));
}

}  // namespace
}  // namespace vellumo
