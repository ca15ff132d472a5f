// The settings file through the profile functions: defaults, integer parsing,
// unsigned times past 2038, garbage.
#include <gtest/gtest.h>

#include "app/settings_win32.h"
#include "test_support.h"

namespace vellumo {
namespace {
using testing::TempDir;

TEST(Settings, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
  TempDir tmp;
  std::wstring file = (tmp / "quen_set.ini").wstring();
  EXPECT_EQ(0, ReadCipherType(file));
  EXPECT_FALSE(ReadPacking(file));
  EXPECT_EQ(0u, ReadLastUpdateCheck(file));
  EXPECT_TRUE(ReadAutoClose(file));  // the designed close after a clean run, unless switched off
  WriteCipherType(file, 2);
  WritePacking(file, true);
  WriteAutoClose(file, false);
  EXPECT_EQ(2, ReadCipherType(file));
  EXPECT_TRUE(ReadPacking(file));
  EXPECT_FALSE(ReadAutoClose(file));
  const std::vector<uint8_t> bytes = testing::ReadFileBytes(tmp / "quen_set.ini");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("[DETYPE]"), std::string::npos);
  EXPECT_NE(text.find("TYPE=2"), std::string::npos);
  EXPECT_NE(text.find("ZIP=1"), std::string::npos);
  EXPECT_NE(text.find("AUTOCLOSE=0"), std::string::npos);
}

TEST(Settings, IntegersParseLikeTheStandardConversion) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"abc", 0}, {L" 12x", 12}, {L"-3", -3}, {L"+7", 7}, {L"", 0}, {L"1 2", 1}};
  for (auto [text, value] : cases) EXPECT_EQ(value, ParseSettingInt(text)) << testing::Narrow(text);
  TempDir tmp;
  std::wstring file = (tmp / "s.ini").wstring();
  WriteSettingText(file, L"DETYPE", L"TYPE", L"abc");
  EXPECT_EQ(0, ReadCipherType(file));
}

TEST(Settings, LastCheckTimeIsUnsignedPast2038) {
  TempDir tmp;
  std::wstring file = (tmp / "s.ini").wstring();
  WriteLastUpdateCheck(file, 0x90000000u);
  EXPECT_EQ(L"2415919104", ReadSettingText(file, L"UPDATE", L"LASTTIME", L"0"));
  EXPECT_EQ(0x90000000u, ReadLastUpdateCheck(file));
}

TEST(Settings, NewInstallationsGetTheSealedFormatAndEarlierChoicesAreKept) {
  struct Case {
    const char* what;
    const char* content;  // the settings file as it was; null: none
    FileFormat format;
  };
  const Case cases[] = {
      {"a new installation: no file", nullptr, FileFormat::kSealed},
      {"a file without a cipher choice", "[UPDATE]\r\nLASTTIME=1700000000\r\n[DETYPE]\r\nZIP=1\r\n",
       FileFormat::kSealed},
      {"an earlier installation that chose AES", "[DETYPE]\r\nTYPE=0\r\n", FileFormat::kLegacy},
      {"an earlier installation that chose RC4", "[DETYPE]\r\nTYPE=2\r\nZIP=0\r\n", FileFormat::kLegacy},
      {"the legacy format chosen", "[DETYPE]\r\nTYPE=1\r\nFORMAT=0\r\n", FileFormat::kLegacy},
      {"the sealed format chosen", "[DETYPE]\r\nTYPE=1\r\nFORMAT=1\r\n", FileFormat::kSealed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir tmp;
    const std::wstring file = (tmp / "quen_set.ini").wstring();
    if (c.content) {
      const std::string text = c.content;
      testing::WriteFileBytes(tmp / "quen_set.ini", std::vector<uint8_t>(text.begin(), text.end()));
    }
    EXPECT_EQ(ReadFileFormat(file), c.format);
  }

  // Choosing the sealed format leaves TYPE, which an older program sharing
  // the file reads, as it was; the legacy cipher choice comes back with the
  // legacy format.
  TempDir tmp;
  const std::wstring file = (tmp / "quen_set.ini").wstring();
  WriteCipherType(file, 2);
  WriteFileFormat(file, FileFormat::kSealed);
  EXPECT_EQ(ReadFileFormat(file), FileFormat::kSealed);
  EXPECT_EQ(ReadSettingText(file, L"DETYPE", L"TYPE", L""), L"2");
  WriteFileFormat(file, FileFormat::kLegacy);
  EXPECT_EQ(ReadFileFormat(file), FileFormat::kLegacy);
  EXPECT_EQ(ReadCipherType(file), 2);
  // Ids other than the three ciphers never reach TYPE.
  for (int id : {3, -1, 100}) WriteCipherType(file, id);
  EXPECT_EQ(ReadSettingText(file, L"DETYPE", L"TYPE", L""), L"2");
}

TEST(Settings, GarbageFileDoesNotDisturbReading) {
  TempDir tmp;
  std::vector<uint8_t> junk;
  for (int i = 0; i < 5000; ++i) junk.push_back(static_cast<uint8_t>(i * 37 + 11));
  testing::WriteFileBytes(tmp / "g.ini", junk);
  std::wstring file = (tmp / "g.ini").wstring();
  EXPECT_NO_FATAL_FAILURE(ReadCipherType(file));
  EXPECT_EQ(L"\u9ed8", ReadSettingText(file, L"NOSUCH", L"KEY", L"\u9ed8"));
}

}  // namespace
}  // namespace vellumo
