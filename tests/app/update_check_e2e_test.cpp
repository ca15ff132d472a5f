// The update check end to end: a copy of Vellumo.exe whose update server is a
// local HTTP server run by this test, opened with "-sysset". The copy has the
// public key of a key pair made for the tests built in; the stand-in updater
// is signed with it (VELLUMO_FAKE_UPDATER + ".sig").
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "gui_driver_win32.h"
#include "test_support.h"

namespace vellumo::testing {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kTitle[] = L"Quennel-参数设置";
const std::string kUpdater = "http://127.0.0.1:" + std::to_string(VELLUMO_TEST_UPDATE_PORT) + "/fake_updater.exe";

std::wstring ReadLastTime(const fs::path& ini) {
  wchar_t value[256] = {};
  GetPrivateProfileStringW(L"UPDATE", L"LASTTIME", L"<none>", value, 256, ini.c_str());
  return value;
}

bool WaitForFile(const fs::path& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (fs::exists(path)) return true;
    Sleep(100);
  }
  return false;
}

class UpdateCheckE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.listening()) << "port " << VELLUMO_TEST_UPDATE_PORT << " is taken";
    updater = ReadFileBytes(fs::path(Widen(VELLUMO_FAKE_UPDATER)));
    ASSERT_FALSE(updater.empty());
    server.Serve("/fake_updater.exe", std::string(updater.begin(), updater.end()));
    const std::vector<uint8_t> sig = ReadFileBytes(fs::path(Widen(VELLUMO_FAKE_UPDATER) + L".sig"));
    signature.assign(sig.begin(), sig.end());
    while (!signature.empty() && (signature.back() == '\n' || signature.back() == '\r')) signature.pop_back();
    ASSERT_EQ(signature.size(), 128u);
  }

  // An update description; by default it carries the stand-in's signature.
  void Describe(const std::string& version, const std::string& address, const std::string* sig = nullptr) {
    server.Serve("/update.txt", "[quennel]\r\nversion=" + version + "\r\nupdate=" + address +
                                    "\r\nsignature=" + (sig ? *sig : signature) + "\r\n");
  }

  void SetLastTime(const std::string& value) {
    fs::create_directories(appData.settingsFolder());
    std::string ini = "[UPDATE]\r\nLASTTIME=" + value + "\r\n";
    WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));
  }

  // Opens the settings dialog, waits until the check has fetched what it
  // wanted (or until `settleMs` after the last request), then closes it.
  std::vector<std::string> OpenSettings(DWORD settleMs) {
    size_t before = server.Requests().size();
    VellumoProcess program(L"-sysset", Widen(VELLUMO_UPDATE_TEST_EXE));
    HWND dialog = program.WaitDialog(kTitle);
    EXPECT_NE(dialog, nullptr);
    Sleep(settleMs);
    if (dialog != nullptr) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      EXPECT_TRUE(program.WaitExit());
    }
    std::vector<std::string> all = server.Requests();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }

  fs::path Marker() const { return appData.settingsFolder() / L"updater-ran.txt"; }

  LocalHttpServer server{VELLUMO_TEST_UPDATE_PORT};
  ScopedAppData appData;
  std::vector<uint8_t> updater;
  std::string signature;  // of `updater`, by the tests' key
};

TEST_F(UpdateCheckE2E, ADifferentVersionStartsTheDownloadedUpdater) {
  // Equality only: an older version is "different" as well.
  Describe("0, 9, 0, 0", kUpdater);
  int64_t before = static_cast<int64_t>(std::time(nullptr));
  size_t first = server.Requests().size();
  {
    VellumoProcess program(L"-sysset", Widen(VELLUMO_UPDATE_TEST_EXE));
    ASSERT_NE(program.WaitDialog(kTitle), nullptr);
    EXPECT_TRUE(WaitForFile(Marker(), 30000)) << "the updater did not run";
  }
  std::vector<std::string> all = server.Requests();
  EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(first), all.end()),
            (std::vector<std::string>{"/update.txt", "/fake_updater.exe"}));
  EXPECT_TRUE(fs::exists(appData.settingsFolder() / L"qorixupdate.txt"));
  int64_t stored = std::stoll(ReadLastTime(appData.settingsFile()));
  EXPECT_GE(stored, before);
  EXPECT_LE(stored, before + 60);

  // A minute later (well, now) the three days have not passed: no check.
  fs::remove(Marker());
  EXPECT_TRUE(OpenSettings(1500).empty());
  EXPECT_FALSE(fs::exists(Marker()));
}

TEST_F(UpdateCheckE2E, TheRunningVersionDownloadsNoUpdater) {
  Describe("1, 0, 0, 1", kUpdater);
  EXPECT_EQ(OpenSettings(2500), std::vector<std::string>{"/update.txt"});
  EXPECT_FALSE(fs::exists(Marker()));
  EXPECT_FALSE(fs::exists(appData.settingsFolder() / L"update.exe"));
}

TEST_F(UpdateCheckE2E, TheStoredTimeGatesTheCheck) {
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  struct Case {
    std::string lastTime;
    bool checks;
  } cases[] = {
      {std::to_string(now - 60), false},
      {std::to_string(now - 259200 - 60), true},
      {"abc", true},                                // reads as 0
      {std::to_string(now + 2 * 86400), false},     // in the future
  };
  Describe("1, 0, 0, 1", kUpdater);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastTime);
    SetLastTime(c.lastTime);
    std::vector<std::string> requests = OpenSettings(2000);
    EXPECT_EQ(!requests.empty(), c.checks);
    if (!c.checks) {
      EXPECT_EQ(Narrow(ReadLastTime(appData.settingsFile())), c.lastTime);
    }
  }
}

// The announcement comes over plain HTTP, so anyone on the way could name any
// program: only one signed with the vendor's key (here: the tests' key, whose
// public half the test copy has built in) is started.
TEST_F(UpdateCheckE2E, AnUpdaterWithoutTheVendorsSignatureIsRefusedAndRemoved) {
  std::vector<uint8_t> tampered = updater;
  tampered.push_back(0);  // a byte more than was signed
  server.Serve("/tampered.exe", std::string(tampered.begin(), tampered.end()));
  std::string otherSignature = signature;
  otherSignature[0] = otherSignature[0] == '0' ? '1' : '0';
  const std::string none;
  const std::string base = "http://127.0.0.1:" + std::to_string(VELLUMO_TEST_UPDATE_PORT);
  const struct {
    const char* what;
    std::string address;
    const std::string* signature;
  } cases[] = {
      {"no signature", kUpdater, &none},
      {"a signature that is not the key's", kUpdater, &otherSignature},
      {"other bytes than were signed", base + "/tampered.exe", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Describe("2, 0, 0, 0", c.address, c.signature);
    SetLastTime("0");
    VellumoProcess program(L"-sysset", Widen(VELLUMO_UPDATE_TEST_EXE));
    HWND dialog = program.WaitDialog(kTitle);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(program.DismissBox(IDOK, 30000), L"下载的更新程序没有有效的签名，已删除，不会运行。");
    EXPECT_FALSE(fs::exists(appData.settingsFolder() / L"update.exe"));
    EXPECT_FALSE(fs::exists(Marker()));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(program.WaitExit());
  }
}

TEST_F(UpdateCheckE2E, AnUpdaterOutsideHttpsAndLoopbackIsNeverFetched) {
  Describe("2, 0, 0, 0", "ftp://127.0.0.1:" + std::to_string(VELLUMO_TEST_UPDATE_PORT) + "/fake_updater.exe");
  EXPECT_EQ(OpenSettings(2500), std::vector<std::string>{"/update.txt"});
  EXPECT_FALSE(fs::exists(appData.settingsFolder() / L"update.exe"));
  EXPECT_FALSE(fs::exists(Marker()));
}

}  // namespace
}  // namespace vellumo::testing
