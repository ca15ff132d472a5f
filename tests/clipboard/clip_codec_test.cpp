#include "clipboard/clip_codec.h"

#include <gtest/gtest.h>

#include <sodium.h>

#include <string>
#include <vector>

#include "sealed/sealed_stream.h"
#include "test_support.h"

namespace vellumo {
namespace {

using testing::FromHex;
using testing::ToHex;
using testing::Vectors;
using testing::Widen;

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

// --- The sealed form ---

constexpr KdfParams kTestKdf = kLightestKdf;

// `text` in the sealed form, wrapped every `width` characters with CR LF and
// set between blanks, as a mail program might pass it on.
std::wstring Wrapped(const std::wstring& text, size_t width) {
  std::wstring out = L"  \r\n";
  for (size_t at = 0; at < text.size(); at += width) out += text.substr(at, width) + L"\r\n";
  return out + L"\t ";
}

// Base64 of arbitrary bytes behind the prefix.
std::wstring SealedForm(const std::vector<uint8_t>& bytes) {
  std::string base64(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(base64.data(), base64.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  base64.pop_back();
  return std::wstring(kSealedClipPrefix) + std::wstring(base64.begin(), base64.end());
}

TEST(SealedClipText, KnownAnswerTextsOpenAlsoWhenWrapped) {
  const auto manifest = testing::SealedVectorManifest();
  ASSERT_GE(manifest.at("clip").size(), 2u);
  for (const auto& c : manifest.at("clip")) {
    SCOPED_TRACE(c.at("name").get<std::string>());
    const std::wstring cipherText = Widen(c.at("clip_text"));
    SealedKeyring keyring(Widen(c.at("key_text")));
    EXPECT_TRUE(IsSealedClipText(cipherText));
    for (const std::wstring& form : {cipherText, Wrapped(cipherText, 76), Wrapped(cipherText, 1)}) {
      std::wstring text;
      EXPECT_EQ(OpenSealedClipText(form, keyring, text), SealedError::kNone);
      EXPECT_EQ(text, Widen(c.at("text")));
    }
    EXPECT_EQ(keyring.derivations(), 1);
  }
}

TEST(SealedClipText, RoundTripsAnyTextAndRefusesEveryChange) {
  SealedKeyring keyring(L"密钥", kTestKdf);
  SealedError error = SealedError::kNone;
  for (const std::wstring& text : {std::wstring(L"中文 text \U0001F511"), std::wstring(L"x"),
                                   std::wstring(70000, L'\u5B57')}) {
    const std::wstring sealed = SealClipText(text, keyring, error);
    ASSERT_EQ(error, SealedError::kNone);
    EXPECT_EQ(sealed.substr(0, kSealedClipPrefix.size()), kSealedClipPrefix);
    EXPECT_TRUE(std::all_of(sealed.begin(), sealed.end(), [](wchar_t c) { return c > 0x20 && c < 0x7F; }));
    std::wstring opened;
    EXPECT_EQ(OpenSealedClipText(sealed, keyring, opened), SealedError::kNone);
    EXPECT_EQ(opened, text);
  }
  const std::wstring sealed = SealClipText(L"秘密", keyring, error);
  std::wstring changedLetter = sealed;
  changedLetter[sealed.size() - 5] = changedLetter[sealed.size() - 5] == L'A' ? L'B' : L'A';
  std::vector<uint8_t> packedMessage, latin1Message;
  const std::string notUtf8 = "\xC3\x28";
  ASSERT_EQ(SealBytes(keyring, true, reinterpret_cast<const uint8_t*>("text"), 4, packedMessage), SealedError::kNone);
  ASSERT_EQ(SealBytes(keyring, false, reinterpret_cast<const uint8_t*>(notUtf8.data()), notUtf8.size(), latin1Message),
            SealedError::kNone);
  struct Case {
    const char* what;
    std::wstring cipherText;
    const wchar_t* key;
    SealedError expected;
  };
  const std::vector<Case> cases = {
      {"another key", sealed, L"密钥 ", SealedError::kWrongKey},
      {"a letter changed", changedLetter, L"密钥", SealedError::kDamaged},
      {"cut short", sealed.substr(0, sealed.size() - 8), L"密钥", SealedError::kDamaged},
      {"cut to the prefix", std::wstring(kSealedClipPrefix), L"密钥", SealedError::kDamaged},
      {"not base64", std::wstring(kSealedClipPrefix) + L"!!!!", L"密钥", SealedError::kDamaged},
      {"a character outside ASCII", sealed + L"\u5B57", L"密钥", SealedError::kDamaged},
      {"base64 of other bytes", SealedForm({1, 2, 3, 4, 5, 6}), L"密钥", SealedError::kDamaged},
      {"the legacy form", L"|||&&|||0123456789ABCDEFPPPP|||&&|||", L"密钥", SealedError::kNotSealed},
      {"the prefix further in", L"x" + sealed, L"密钥", SealedError::kNotSealed},
      {"a packed set", SealedForm(packedMessage), L"密钥", SealedError::kUnsupported},
      {"bytes that are not UTF-8", SealedForm(latin1Message), L"密钥", SealedError::kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SealedKeyring reader(c.key);
    std::wstring text = L"left over";
    EXPECT_EQ(OpenSealedClipText(c.cipherText, reader, text), c.expected);
    EXPECT_TRUE(text.empty());
  }
}

TEST(SealedClipText, ClipboardBlocksOfBothFormsEncryptAndOpenByTheirText) {
  SealedKeyring keyring(L"加密测试密钥", kTestKdf);
  const std::string block("\xBC\xD3\xC3\xDC text\0junk", 14);  // 加密 in GBK, a zero, bytes after it
  const ClipResult legacy = TransformClipBlock(ClipMode::kEncrypt, ClipForm::kLegacy, block, kZh6, keyring, 936);
  const ClipResult sealed = TransformClipBlock(ClipMode::kEncrypt, ClipForm::kSealed, block, kZh6, keyring, 936);
  ASSERT_EQ(legacy.refusal, ClipRefusal::kNone);
  ASSERT_EQ(sealed.refusal, ClipRefusal::kNone);
  // The legacy form is written exactly as before, of the text up to its zero.
  EXPECT_EQ(legacy.block, *TransformClipText(ClipMode::kEncrypt, ClipboardText(block), kZh6, 936));
  EXPECT_EQ(sealed.block.substr(0, kSealedClipPrefix.size()), "vellumo:");
  EXPECT_EQ(sealed.block.back(), '\0');

  // Decryption needs no form: each text says what it is. Both forms carry the
  // text up to its zero, never what the block held after it.
  const ClipResult fromLegacy = TransformClipBlock(ClipMode::kDecrypt, ClipForm::kSealed, legacy.block, kZh6, keyring, 936);
  const ClipResult fromSealed = TransformClipBlock(ClipMode::kDecrypt, ClipForm::kLegacy, sealed.block, kZh6, keyring, 936);
  EXPECT_EQ(fromLegacy.block, std::string("\xBC\xD3\xC3\xDC text\0", 10));
  EXPECT_EQ(fromSealed.block, std::string("\xBC\xD3\xC3\xDC text\0", 10));

  SealedKeyring other(L"别的密钥", kTestKdf);
  const KeyBlock otherBlock = kAscii16;
  struct Case {
    const char* what;
    ClipMode mode;
    ClipForm form;
    std::string block;
    SealedKeyring* keyring;
    ClipRefusal expected;
  };
  const std::vector<Case> cases = {
      {"encrypting legacy cipher text in the sealed form", ClipMode::kEncrypt, ClipForm::kSealed, legacy.block, &keyring,
       ClipRefusal::kAlreadyCipherText},
      {"encrypting sealed cipher text in the legacy form", ClipMode::kEncrypt, ClipForm::kLegacy, sealed.block, &keyring,
       ClipRefusal::kAlreadyCipherText},
      {"encrypting no text", ClipMode::kEncrypt, ClipForm::kSealed, std::string(1, '\0'), &keyring, ClipRefusal::kEmpty},
      {"encrypting an empty block", ClipMode::kEncrypt, ClipForm::kLegacy, "", &keyring, ClipRefusal::kEmpty},
      {"decrypting plain text", ClipMode::kDecrypt, ClipForm::kSealed, block, &keyring, ClipRefusal::kNotCipherText},
      {"decrypting sealed text with another key", ClipMode::kDecrypt, ClipForm::kSealed, sealed.block, &other,
       ClipRefusal::kWrongKey},
      {"decrypting legacy text with another key block", ClipMode::kDecrypt, ClipForm::kLegacy,
       *TransformClipText(ClipMode::kEncrypt, block, otherBlock, 936), &keyring, ClipRefusal::kWrongKey},
      {"decrypting cut sealed text", ClipMode::kDecrypt, ClipForm::kSealed,
       sealed.block.substr(0, sealed.block.size() - 6) + '\0', &keyring, ClipRefusal::kDamaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ClipResult result = TransformClipBlock(c.mode, c.form, c.block, kZh6, *c.keyring, 936);
    EXPECT_EQ(result.refusal, c.expected);
    EXPECT_TRUE(result.block.empty());
  }
}

}  // namespace
}  // namespace vellumo
