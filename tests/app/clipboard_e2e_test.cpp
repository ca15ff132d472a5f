// The clipboard dialog end to end: text put on the clipboard here, encrypted
// and decrypted by two runs of Vellumo.exe.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "crypto/ansi_codepage.h"
#include "gui_driver_win32.h"
#include "resources/resource.h"
#include "test_support.h"

namespace vellumo::testing {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kTitle[] = L"Quennel-剪贴板加解密";

class ClipboardE2E : public ::testing::Test {
 protected:
  // One run: pick the key at `keyIndex` and press OK.
  static void Run(const wchar_t* option, int keyIndex) {
    VellumoProcess program(option);
    HWND dialog = program.WaitDialog(kTitle);
    ASSERT_NE(dialog, nullptr);
    SelectComboEntry(dialog, IDC_KEY_COMBO, keyIndex);
    Click(dialog, IDOK);
    EXPECT_TRUE(program.WaitExit());
  }

  // A profile that chose a legacy cipher, as every one from before the
  // sealed format did: clipboard encryption keeps writing the legacy form.
  void ChooseLegacy() {
    const std::string ini = "[DETYPE]\r\nTYPE=0\r\n";
    WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));
  }

  ScopedAppData appData;
};

TEST_F(ClipboardE2E, EncryptsThenDecryptsAcrossTwoRuns) {
  SeedKeys(appData.keyDatabase(), {{1, L"甲", L"first key", L""}, {2, L"乙", L"第二个密钥", L""}});
  ChooseLegacy();
  const std::string plain = ToAnsi(L"剪贴板上的文字 with ASCII, 32 bytes+");
  SetClipboardText(plain);

  Run(L"-enslipstart", 1);
  const std::string cipher = ClipboardText();
  ASSERT_GT(cipher.size(), 32u);
  EXPECT_EQ(cipher.substr(0, 8), "|||&&|||");
  EXPECT_EQ(cipher.substr(cipher.size() - 8), "|||&&|||");
  // The text and its zero are encrypted, two letters per byte.
  EXPECT_EQ(cipher.size(), 32 + 2 * (plain.size() + 1));

  // Text that already looks encrypted is left alone.
  Run(L"-enslipstart", 0);
  EXPECT_EQ(ClipboardText(), cipher);

  // The wrong key's check does not match: unchanged.
  Run(L"-deslipstart", 0);
  EXPECT_EQ(ClipboardText(), cipher);

  Run(L"-deslipstart", 1);
  EXPECT_EQ(ClipboardText(), plain);

  // Plain text is not cipher text: decrypting leaves it.
  Run(L"-deslipstart", 1);
  EXPECT_EQ(ClipboardText(), plain);
}

// What a block holds after the text's zero (another program's leftovers) is
// not encrypted, and so never comes back on decryption either.
TEST_F(ClipboardE2E, OnlyTheTextUpToItsZeroIsEncrypted) {
  SeedKeys(appData.keyDatabase(), {{1, L"甲", L"first key", L""}});
  ChooseLegacy();
  SetClipboardBlock(std::string("hi\0SECRETTAIL", 13));
  Run(L"-enslipstart", 0);
  const std::string cipher = ClipboardText();
  EXPECT_EQ(cipher.size(), 32 + 2 * 3u);
  Run(L"-deslipstart", 0);
  EXPECT_EQ(ClipboardText(), "hi");
}

// A new profile writes the sealed form: the whole Unicode text, characters
// GBK lacks included, comes back; a wrong key or a changed text is told and
// leaves the clipboard as it was. Either form decrypts whatever the choice.
TEST_F(ClipboardE2E, NewProfilesWriteTheSealedFormAndItsRefusalsAreTold) {
  SeedKeys(appData.keyDatabase(), {{1, L"甲", L"first key", L""}, {2, L"乙", L"第二个密钥", L""}});
  const std::wstring plain = L"你好 world \u00e9\u0101 \U0001F600";
  SetUnicodeClipboardText(plain);

  Run(L"-enslipstart", 1);
  const std::wstring cipher = UnicodeClipboardText();
  ASSERT_EQ(cipher.rfind(L"vellumo:", 0), 0u) << Narrow(cipher);

  // Sealed text is cipher text already: left alone, silently.
  Run(L"-enslipstart", 0);
  EXPECT_EQ(UnicodeClipboardText(), cipher);

  struct Refused {
    std::wstring text;
    int keyIndex;
    std::wstring message;
  } refused[] = {
      {cipher, 0, L"所选密钥错误! 剪贴板内容没有改变。"},
      {cipher.substr(0, cipher.size() - 6), 1, L"剪贴板中的密文已损坏或被改动! 剪贴板内容没有改变。"},
  };
  for (const Refused& r : refused) {
    SetUnicodeClipboardText(r.text);
    VellumoProcess program(L"-deslipstart");
    HWND dialog = program.WaitDialog(kTitle);
    ASSERT_NE(dialog, nullptr);
    SelectComboEntry(dialog, IDC_KEY_COMBO, r.keyIndex);
    Click(dialog, IDOK);
    EXPECT_EQ(program.DismissBox(), r.message);
    EXPECT_TRUE(program.WaitExit());
    EXPECT_EQ(UnicodeClipboardText(), r.text);
  }

  SetUnicodeClipboardText(cipher);
  Run(L"-deslipstart", 1);
  EXPECT_EQ(UnicodeClipboardText(), plain);

  // A legacy text from an older installation still opens.
  ChooseLegacy();
  SetClipboardText("legacy text");
  Run(L"-enslipstart", 1);
  ASSERT_EQ(ClipboardText().substr(0, 8), "|||&&|||");
  fs::remove(appData.settingsFile());
  Run(L"-deslipstart", 1);
  EXPECT_EQ(ClipboardText(), "legacy text");
}

TEST_F(ClipboardE2E, WithoutKeysOkIsRefusedAndCancelLeavesTheClipboard) {
  SeedKeys(appData.keyDatabase(), {});
  SetClipboardText("unchanged");
  VellumoProcess program(L"-enslipstart");
  HWND dialog = program.WaitDialog(kTitle);
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDOK);
  EXPECT_EQ(program.DismissBox(), L"遇到不适当的参数。");
  ASSERT_NE(program.WaitDialog(kTitle), nullptr);  // still open
  Click(dialog, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(ClipboardText(), "unchanged");
}

}  // namespace
}  // namespace vellumo::testing
