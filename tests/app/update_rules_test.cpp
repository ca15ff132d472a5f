// When the update check runs, and which updater addresses it will start.
#include "keystore/update_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace vellumo {
namespace {

TEST(UpdateRules, LastCheckTimeReadsLikeTheProfileNumber) {
  struct Case {
    std::wstring text;
    uint32_t expected;
  } cases[] = {
      {L"0", 0},
      {L"1700000000", 1700000000u},
      {L"  \t42xyz", 42},
      {L"+7", 7},
      {L"abc", 0},  // no leading digits
      {L"", 0},
      {L"2147483647", 2147483647u},
      {L"99999999999", 2147483647u},            // saturates at the largest 32-bit value
      {L"-1", 0xFFFFFFFFu},                     // bit pattern taken as unsigned
      {L"-99999999999", 0x80000000u},           // saturates at the smallest
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLastCheckTime(c.text), c.expected) << std::string(c.text.begin(), c.text.end());
}

TEST(UpdateRules, CheckIsDueAfterThreeDays) {
  const int64_t now = 1700000000;
  EXPECT_TRUE(UpdateCheckDue(0, now));                                        // never checked
  EXPECT_FALSE(UpdateCheckDue(static_cast<uint32_t>(now - 60), now));         // a minute ago
  EXPECT_FALSE(UpdateCheckDue(static_cast<uint32_t>(now - 259199), now));
  EXPECT_TRUE(UpdateCheckDue(static_cast<uint32_t>(now - 259200), now));
  EXPECT_FALSE(UpdateCheckDue(static_cast<uint32_t>(now + 2 * 86400), now));  // in the future
  EXPECT_TRUE(UpdateCheckDue(static_cast<uint32_t>(now + 2 * 86400), now + 5 * 86400));
  // A stored "-1" reads as 4294967295: far in the future for a 64-bit clock of today.
  EXPECT_FALSE(UpdateCheckDue(ParseLastCheckTime(L"-1"), now));
}

TEST(UpdateRules, UpdaterComesOnlyOverHttpsOrFromLoopback) {
  struct Case {
    const wchar_t* url;
    bool allowed;
  } cases[] = {
      {L"https://update.example.com/setup.exe", true},
      {L"HTTPS://update.example.com/setup.exe", true},
      {L"https://update.example.com:8443/setup.exe", true},
      {L"http://update.example.com/setup.exe", false},
      {L"http://127.0.0.1:8080/update.exe", true},
      {L"http://127.1.2.3/update.exe", true},
      {L"http://localhost/update.exe", true},
      {L"http://LOCALHOST:99/update.exe", true},
      {L"http://[::1]:8080/update.exe", true},
      {L"http://[::2]/update.exe", false},
      {L"http://128.0.0.1/update.exe", false},
      {L"http://127.0.0.1.example.com/update.exe", false},
      {L"http://localhost.example.com/update.exe", false},
      {L"http://127.0.0.1@example.com/update.exe", false},  // user info, then the real host
      {L"http://127.0.0.256/update.exe", false},
      {L"ftp://127.0.0.1/update.exe", false},
      {L"file:///C:/update.exe", false},
      {L"https:///update.exe", false},
      {L"", false},
      {L"update.exe", false},
  };
  for (const Case& c : cases) {
    std::wstring url = c.url;
    EXPECT_EQ(IsAllowedUpdaterAddress(url), c.allowed) << std::string(url.begin(), url.end());
  }
}

}  // namespace
}  // namespace vellumo
