// Key blocks and the ANSI code page conversions they rest on. Natively the
// code page is given explicitly (936 by default); under Wine the thread's ANSI
// code page must be 936, as on our users' machines.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "crypto/crc32.h"
#include "crypto/key_block.h"
#include "crypto/md5.h"
#include "crypto/utf8.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::ToHex;
using testing::Vectors;
using testing::Widen;

unsigned CodePageOf(const std::string& name) { return name == "cp1252" ? 1252 : 936; }

TEST(KeyBlock, ReferenceKeyTexts) {
  for (const auto& v : Vectors()["key_blocks"]) {
    SCOPED_TRACE(v["name"].get<std::string>());
    std::wstring text = Widen(v["text"]);
    unsigned cp = CodePageOf(v["codepage"]);
    EXPECT_EQ(testing::ToHex(reinterpret_cast<const uint8_t*>(ToAnsi(text, cp).data()), ToAnsi(text, cp).size()),
              v["ansi_hex"].get<std::string>());
    KeyBlock block = MakeKeyBlock(text, cp);
    EXPECT_EQ(ToHex(block.data(), block.size()), v["key_block_hex"].get<std::string>());
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08X", Crc32Of(block.data(), block.size()));
    EXPECT_EQ(std::string(crc), v["crc32"].get<std::string>());
    EXPECT_EQ(Md5HexOf(block.data(), block.size()), Widen(v["md5_hex_upper"]));
  }
}

TEST(KeyBlock, DefaultCodePageIsChinese) {
#ifdef _WIN32
  ASSERT_EQ(936u, GetACP()) << "run under LC_ALL=zh_CN.UTF-8";
#endif
  // Thread code page by default: 936 natively by choice, 936 under Wine by locale.
  EXPECT_EQ("d6d0cec4", ToHex(reinterpret_cast<const uint8_t*>(ToAnsi(L"\u4e2d\u6587").data()), 4));
  KeyBlock block = MakeKeyBlock(L"\u52a0\u5bc6\u6d4b\u8bd5\u5bc6\u94a5");  // 加密测试密钥
  EXPECT_EQ("bcd3c3dcb2e2cad4c3dcd4bf00000000", ToHex(block.data(), block.size()));
}

// A key typed by hand goes over the start of the chosen list key's block; the
// list key's bytes past it stay, in code page bytes (a cut may split a
// double-byte character on either side).
TEST(KeyBlock, TypedKeyOverlaysTheListKey) {
  struct Case {
    const char* what;
    const wchar_t* listKey;
    const wchar_t* typedKey;
    const char* blockHex;
    const wchar_t* sealedKeyText;  // the sealed format's key: the typed text replaces the list key
  } cases[] = {
      {"shorter typed key keeps the list key's tail", L"listkey-0123456789", L"abc",
       "616263746b65792d3031323334353637", L"abc"},
      {"empty typed key leaves the list key", L"listkey", L"", "6c6973746b6579000000000000000000", L"listkey"},
      {"longer typed key covers the whole block", L"ab", L"0123456789abcdefXYZ", "30313233343536373839616263646566",
       L"0123456789abcdefXYZ"},
      {"a Chinese typed key counts its GBK bytes", L"listkey-01234567", L"\u5bc6", "c3dc73746b65792d3031323334353637",
       L"\u5bc6"},
      {"a typed key over a Chinese list key", L"\u52a0\u5bc6\u6d4b\u8bd5", L"x", "78d3c3dcb2e2cad40000000000000000",
       L"x"},
  };
  for (const Case& c : cases) {
    const KeyBlock block = OverlayKeyBlock(c.listKey, c.typedKey, 936);
    EXPECT_EQ(ToHex(block.data(), block.size()), c.blockHex) << c.what;
    EXPECT_EQ(RunKeyText(c.listKey, c.typedKey), c.sealedKeyText) << c.what;
  }
  // Without a typed key the block is the list key's own.
  EXPECT_EQ(OverlayKeyBlock(L"\u52a0\u5bc6", L"", 936), MakeKeyBlock(L"\u52a0\u5bc6", 936));
}

// A new key must survive the code page whole: an empty key is the all-zero
// block, and characters the code page lacks all become "?", so "한국" and
// "日本" (in a code page without the first) would be one key.
TEST(KeyBlock, NewKeyTextsMustBeNonEmptyAndFitTheCodePage) {
  struct Case {
    std::wstring key;
    KeyTextProblem problem;
  };
  const Case cases[] = {
      {L"", KeyTextProblem::kEmpty},
      // A zero character is the all-zero block too, and a stored key text
      // ends at its first zero, so "ab\0cd" would come back as "ab".
      {std::wstring(1, L'\0'), KeyTextProblem::kNotInCodePage},
      {std::wstring(L"ab\0cd", 5), KeyTextProblem::kNotInCodePage},
      {L"secret", KeyTextProblem::kNone},
      {L"你好 world é", KeyTextProblem::kNone},  // GBK holds Chinese and pinyin letters
      {L"?", KeyTextProblem::kNone},                           // a real question mark is a character like any
      {L"한국", KeyTextProblem::kNotInCodePage},       // Hangul is not in GBK
      {L"key😀", KeyTextProblem::kNotInCodePage},      // nor are emoji
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckNewKeyText(c.key, 936), c.problem) << testing::Narrow(c.key);
  }
  EXPECT_TRUE(CanEncodeAnsi(L"😀", 65001));
}

TEST(AnsiCodePage, RoundTripsAndDefaultCharacters) {
  const std::wstring chinese = L"\u6587\u6863\\\u8ba1\u5212.doc";
  EXPECT_EQ(chinese, FromAnsi(ToAnsi(chinese, 936), 936));
  EXPECT_EQ(chinese, FromAnsi(ToAnsi(chinese)));
  // Hangul is not in GBK: one "?" per character.
  EXPECT_EQ("x?y", ToAnsi(L"x\ud55cy", 936));
  // Beyond U+FFFF Windows sees two UTF-16 units and writes two; the key block
  // of such a key must not depend on the platform.
  EXPECT_EQ("x??y", ToAnsi(L"x\U0001F600y", 936));
  EXPECT_EQ("x\xf0\x9f\x98\x80y", ToAnsi(L"x\U0001F600y", 65001));
  EXPECT_EQ(L"", FromAnsi(std::string_view()));
}

TEST(AnsiCodePage, FromAnsiStopsAtTheEndOfItsInput) {
  // Conversion stops at the first zero byte or the end of the view, whichever
  // comes first, even in the middle of a double-byte character.
  const char bytes[] = {'a', '\xd6', '\xd0', 'b', '\0', 'c'};
  EXPECT_EQ(L"a\u4e2db", FromAnsi(std::string_view(bytes, sizeof bytes), 936));
  EXPECT_EQ(L"a", FromAnsi(std::string_view(bytes, 1), 936));
  EXPECT_EQ(L"a?", FromAnsi(std::string_view(bytes, 2), 936));  // lead byte alone
}

// UTF-8 is what file names are on POSIX and what the command line reads and
// writes; characters beyond the BMP must survive both wchar_t widths.
TEST(Utf8, EncodesAndDecodesEveryLength) {
  const std::wstring text = std::wstring(L"a\u00e9\u4e2d") + L"\U0001F600";
  const std::string bytes = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
  EXPECT_EQ(ToUtf8(text), bytes);
  std::wstring back;
  EXPECT_TRUE(FromUtf8(bytes, back));
  EXPECT_EQ(back, text);
}

TEST(Utf8, MalformedInputGivesReplacementCharacters) {
  struct Case {
    const char* name;
    std::string bytes;
    std::wstring text;
  };
  const Case cases[] = {
      {"overlong", "\xC0\x80x", L"\uFFFD\uFFFDx"},
      {"encoded surrogate", "\xED\xA0\x80", L"\uFFFD"},
      {"truncated at the end", "a\xE4\xB8", L"a\uFFFD"},
      {"continuation missing", "\xE4x", L"\uFFFDx"},
      {"beyond Unicode", "\xF5\x80\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"lone continuation", "\x80", L"\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring text;
    EXPECT_FALSE(FromUtf8(c.bytes, text));
    EXPECT_EQ(text, c.text);
  }
}

TEST(Utf8, UnpairedSurrogateBecomesReplacementCharacter) {
  std::wstring text(1, static_cast<wchar_t>(0xD800));
  text += L'x';
  EXPECT_EQ(ToUtf8(text), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace vellumo
