// When the update check runs, and which updater addresses it will start.
#include "app/update/update_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace vellumo {
namespace {

TEST(UpdateRules, CheckIsDueAfterThreeDays) {
  const int64_t now = 1700000000;
  EXPECT_TRUE(UpdateCheckDue(0, now));                                        // never checked
  EXPECT_FALSE(UpdateCheckDue(static_cast<uint32_t>(now - 60), now));         // a minute ago
  EXPECT_FALSE(UpdateCheckDue(static_cast<uint32_t>(now - 259199), now));
  EXPECT_TRUE(UpdateCheckDue(static_cast<uint32_t>(now - 259200), now));
  EXPECT_FALSE(UpdateCheckDue(static_cast<uint32_t>(now + 2 * 86400), now));  // in the future
  EXPECT_TRUE(UpdateCheckDue(static_cast<uint32_t>(now + 2 * 86400), now + 5 * 86400));
  // Past 2038 the stored low 32 bits still compare as unsigned seconds.
  EXPECT_FALSE(UpdateCheckDue(0x90000000u, 0x90000000LL + 60));
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
