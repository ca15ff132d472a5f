#include "clipboard/clip_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace vellumo {
namespace {

using testing::FromHex;
using testing::ToHex;
using testing::Vectors;

KeyBlock KeyFromHex(const std::string& hex) {
  const std::vector<uint8_t> bytes = FromHex(hex);
  KeyBlock key{};
  std::copy(bytes.begin(), bytes.end(), key.begin());
  return key;
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::string Hex(const std::string& s) { return ToHex(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

std::wstring AsciiWide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

const KeyBlock kZh6 = KeyFromHex("bcd3c3dcb2e2cad4c3dcd4bf00000000");  // 加密测试密钥 in GBK
const KeyBlock kAscii16 = KeyFromHex("30313233343536373839616263646566");

TEST(ClipCodec, RunsInCodePage936) {
  // The text checks read the block in the ANSI code page; under Wine a wrong
  // locale would quietly test code page 1252 instead.
  EXPECT_EQ(FromAnsi("\xD6\xD0\xCE\xC4"), L"\u4E2D\u6587");
}

TEST(ClipCodec, EncodeVectors) {
  for (const auto& c : Vectors().at("clipboard_encode")) {
    SCOPED_TRACE(c.at("key").get<std::string>() + " / " + c.at("block").get<std::string>());
    const KeyBlock key = KeyFromHex(c.at("key_block_hex"));
    const std::vector<uint8_t> block = FromHex(c.at("block_hex"));
    const std::string expected = c.at("cipher_text");

    const std::wstring text = EncodeClipText(block.data(), block.size(), key);
    EXPECT_EQ(text, AsciiWide(expected));
    EXPECT_EQ(text.size(), 32 + 2 * block.size());
    EXPECT_TRUE(IsClipCipherText(text));
    EXPECT_TRUE(KeyCheckMatches(text, key));

    EXPECT_EQ(Hex(DecodeClipBytes(expected, key)), c.at("decoded_hex").get<std::string>());
  }
}

TEST(ClipCodec, TransformVectors) {
  for (const auto& c : Vectors().at("clipboard_transform")) {
    SCOPED_TRACE(c.at("note").get<std::string>());
    const ClipMode mode = c.at("mode") == "encrypt" ? ClipMode::kEncrypt : ClipMode::kDecrypt;
    const auto result = TransformClipText(mode, Bytes(FromHex(c.at("input_block_hex"))),
                                          KeyFromHex(c.at("key_block_hex")));
    if (c.at("result_block_hex").is_null()) {
      EXPECT_FALSE(result.has_value());
    } else {
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(Hex(*result), c.at("result_block_hex").get<std::string>());
    }
  }
}

TEST(ClipCodec, RecognisesCipherTextOnlyAboveThirtyTwoCharacters) {
  const std::wstring sep = L"|||&&|||";
  const std::wstring check = L"C820E3BCEED6F72F";
  struct Case {
    const char* what;
    std::wstring text;
    bool cipher;
  } cases[] = {
      {"exactly 32 characters", sep + check + sep, false},
      {"33 characters", sep + check + L"P" + sep, true},
      {"empty", L"", false},
      {"closing separator missing", sep + check + L"PPPPPPPPPP", false},
      {"opening separator changed", L"|||&&||!" + check + L"PP" + sep, false},
      {"separators only", sep + sep + sep + sep + sep, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsClipCipherText(c.text), c.cipher);
  }
}

TEST(ClipCodec, KeyCheckIsExactUppercaseOfTheRightKey) {
  const std::wstring sep = L"|||&&|||";
  EXPECT_TRUE(KeyCheckMatches(sep + L"C820E3BCEED6F72FPP" + sep, kZh6));
  EXPECT_FALSE(KeyCheckMatches(sep + L"c820e3bceed6f72fPP" + sep, kZh6));
  EXPECT_FALSE(KeyCheckMatches(sep + L"C820E3BCEED6F72FPP" + sep, kAscii16));
  EXPECT_FALSE(KeyCheckMatches(sep + L"C820E3BCEED6F72F" + sep, kZh6));  // not longer than 32
}

TEST(ClipCodec, CipherTextIsCountedInCharactersOfTheCodePage) {
  // Both blocks have 48 bytes between and including the separators; 16 GBK
  // characters make only 32 characters of text, so that one is plain text.
  std::string chinese = "|||&&|||", letters = "|||&&|||";
  for (int i = 0; i < 16; ++i) {
    chinese += "\xD6\xD0";
    letters += "PP";
  }
  chinese += "|||&&|||";
  letters += "|||&&|||";
  EXPECT_TRUE(TransformClipText(ClipMode::kEncrypt, chinese, kZh6).has_value());
  EXPECT_FALSE(TransformClipText(ClipMode::kEncrypt, letters, kZh6).has_value());
}

TEST(ClipCodec, OddPayloadLastLetterIsDecodedNotDeciphered) {
  const uint8_t ab[] = {'a', 'b'};
  const std::wstring text = EncodeClipText(ab, 2, kZh6);
  std::string bytes(text.begin(), text.end());
  const std::string head = bytes.substr(0, bytes.size() - 8), tail = bytes.substr(bytes.size() - 8);
  struct Case {
    char extra;
    std::string decoded;
  } cases[] = {
      {'D', "ab@"},  // high nibble 4, low nibble 0, left as decoded
      {'P', "ab"},   // a zero byte ends the text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    EXPECT_EQ(DecodeClipBytes(head + c.extra + tail, kZh6), c.decoded);
  }
}

TEST(ClipCodec, RoundTripKeepsBytesTheCodePageLacks) {
  // UTF-8 text as a POSIX clipboard would carry it: not valid GBK throughout.
  const std::string plain = "\xE4\xB8\xAD\xE6\x96\x87 text \x80\xFF";
  const auto encrypted = TransformClipText(ClipMode::kEncrypt, plain, kZh6);
  ASSERT_TRUE(encrypted.has_value());
  const auto decrypted = TransformClipText(ClipMode::kDecrypt, *encrypted, kZh6);
  ASSERT_TRUE(decrypted.has_value());
  EXPECT_EQ(*decrypted, plain + '\0');
}

// The block the system hands over may hold bytes past the text's zero: the
// text and its zero are what is encrypted.
TEST(ClipCodec, TheClipboardTextEndsAtItsZero) {
  const struct {
    std::string block, text;
  } cases[] = {
      {std::string("hi\0SECRETTAIL", 13), std::string("hi\0", 3)},
      {std::string("hello\0\0\0\0\0\0", 11), std::string("hello\0", 6)},
      {std::string("\0junk", 5), std::string(1, '\0')},
      {"no zero", "no zero"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClipboardText(c.block), c.text) << Hex(c.block);
  }
  const auto encrypted = TransformClipText(ClipMode::kEncrypt, ClipboardText(std::string("hi\0SECRETTAIL", 13)), kZh6);
  ASSERT_TRUE(encrypted.has_value());
  EXPECT_EQ(encrypted->size(), 32 + 2 * 3 + 1u);
}

TEST(ClipCodec, TransformRefusals) {
  const auto encrypted = TransformClipText(ClipMode::kEncrypt, std::string("abc\0junk", 8), kZh6);
  ASSERT_TRUE(encrypted.has_value());
  EXPECT_EQ(encrypted->size(), 32 + 2 * 8 + 1u);
  EXPECT_EQ(encrypted->back(), '\0');

  std::string changedCheck = *encrypted;
  changedCheck[10] = changedCheck[10] == 'A' ? 'B' : 'A';
  struct Case {
    const char* what;
    ClipMode mode;
    std::string block;
  } cases[] = {
      {"encrypt twice", ClipMode::kEncrypt, *encrypted},
      {"encrypt an empty block", ClipMode::kEncrypt, ""},
      {"decrypt with a changed key check", ClipMode::kDecrypt, changedCheck},
      {"decrypt an empty block", ClipMode::kDecrypt, ""},
      {"decrypt a lone zero", ClipMode::kDecrypt, std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(TransformClipText(c.mode, c.block, kZh6).has_value());
  }
  const auto decrypted = TransformClipText(ClipMode::kDecrypt, *encrypted, kZh6);
  ASSERT_TRUE(decrypted.has_value());
  EXPECT_EQ(*decrypted, std::string("abc\0", 4));
}

TEST(ClipCodec, DecodeClipTextReadsTheCodePage) {
  const std::string plain = "\xBC\xD3\xC3\xDC";  // 加密 in GBK
  const std::wstring text = EncodeClipText(reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), kAscii16);
  EXPECT_EQ(DecodeClipText(std::string(text.begin(), text.end()), kAscii16), L"\u52A0\u5BC6");
}

}  // namespace
}  // namespace vellumo
