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
