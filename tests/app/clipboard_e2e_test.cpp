// The clipboard dialog end to end: text put on the clipboard here, encrypted
// and decrypted by two runs of Vellumo.exe.
#include <gtest/gtest.h>

#include <string>

#include "crypto/ansi_codepage.h"
#include "gui_driver_win32.h"
#include "resources/resource.h"
#include "test_support.h"

namespace vellumo::testing {
namespace {

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

  ScopedAppData appData;
};

TEST_F(ClipboardE2E, EncryptsThenDecryptsAcrossTwoRuns) {
  SeedKeys(appData.keyDatabase(), {{1, L"甲", L"first key", L""}, {2, L"乙", L"第二个密钥", L""}});
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
  SetClipboardBlock(std::string("hi\0SECRETTAIL", 13));
  Run(L"-enslipstart", 0);
  const std::string cipher = ClipboardText();
  EXPECT_EQ(cipher.size(), 32 + 2 * 3u);
  Run(L"-deslipstart", 0);
  EXPECT_EQ(ClipboardText(), "hi");
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
