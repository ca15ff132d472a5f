// CRC-32, MD5 and the letter-nibble codec.
#include <gtest/gtest.h>

#include "crypto/crc32.h"
#include "crypto/md5.h"
#include "crypto/nibble.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::FromHex;
using testing::ToHex;
using testing::Vectors;
using testing::Widen;

std::string Hex32(uint32_t v) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

TEST(Crc32, ReferenceValues) {
  for (const auto& v : Vectors()["crc32"]) {
    auto data = FromHex(v["data_hex"]);
    EXPECT_EQ(Hex32(Crc32Of(data.data(), data.size())), v["crc32"].get<std::string>());
  }
  EXPECT_EQ(0xCBF43926u, Crc32Of("123456789", 9));
}

TEST(Md5, Rfc1321SuiteAndReferenceValues) {
  const std::pair<const char*, const char*> rfc[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (auto [text, digest] : rfc) EXPECT_EQ(Md5HexOf(text, std::strlen(text)), Widen(digest)) << text;
  for (const auto& v : Vectors()["md5"]) {
    auto data = FromHex(v["data_hex"]);
    EXPECT_EQ(Md5HexOf(data.data(), data.size()), Widen(v["md5_hex_upper"]));
  }
}

TEST(Md5, UpdateInPiecesEqualsOneUpdate) {
  std::vector<uint8_t> data(300);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  std::wstring whole = Md5HexOf(data.data(), data.size());
  for (size_t cut : {1u, 55u, 56u, 63u, 64u, 65u, 128u}) {
    CEncryptMd5 md5;
    md5.Update(data.data(), cut);
    md5.Update(data.data() + cut, data.size() - cut);
    EXPECT_EQ(md5.FinishHex(), whole) << cut;
  }
}

TEST(Nibble, EncodeAndDecodeTables) {
  for (const auto& v : Vectors()["nibble_encode"]) {
    auto bytes = FromHex(v["bytes_hex"]);
    EXPECT_EQ(NibbleEncode(bytes.data(), bytes.size()), Widen(v["text"]));
  }
  // Lower case, odd lengths and arbitrary characters: only the low four bits count.
  for (const auto& v : Vectors()["nibble_decode"]) {
    EXPECT_EQ(ToHex(NibbleDecode(Widen(v["text"]))), v["bytes_hex"].get<std::string>()) << v["text"];
  }
}

}  // namespace
}  // namespace vellumo
