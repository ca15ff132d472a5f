// Vellumo.exe on an English Windows: every dialog and message in English.
// Run by ctest under an English locale (tests/CMakeLists.txt,
// vellumo_wine_english_test), where the ANSI code page is 1252.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "crypto/key_block.h"
#include "fileenc/file_engine.h"
#include "gui_driver_win32.h"
#include "handoff/handoff_block_win32.h"
#include "resources/resource.h"
#include "test_support.h"

namespace vellumo::testing {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::wstring>>;

constexpr wchar_t kCaption[] = L"Vellumo";  // of every message box

class NoReports : public Reporter {
 public:
  void FileStarted(Direction, const std::wstring&) override {}
  void Refuse(FileMessage, const std::wstring&) override {}
};

class EnglishE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_CHINESE) << "not run on an English Windows";
    ASSERT_EQ(GetACP(), 1252u);
    SeedKeys(appData.keyDatabase(), {{1, L"work", L"work-key", L"office"}});
    // A recent update check: the settings dialog stays off the network.
    std::string ini = "[UPDATE]\r\nLASTTIME=" + std::to_string(static_cast<uint32_t>(time(nullptr))) + "\r\n";
    WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));
  }

  static std::wstring Text(HWND dialog, int id) { return GetText(GetDlgItem(dialog, id)); }

  ScopedAppData appData;
  TempDir work;
  CProcessMap handoff;
};

TEST_F(EnglishE2E, TheFileDialogItsMessagesAndItsSummary) {
  const fs::path done = work / L"done.txt", fresh = work / L"fresh.txt";
  WriteFileBytes(done, {1, 2, 3});
  WriteFileBytes(fresh, {4, 5, 6});
  {
    NoReports quiet;
    FileEngine engine(quiet);
    const KeyBlock key = MakeKeyBlock(L"work-key");
    engine.ProcessFile({done.wstring(), &key, 0, false, false});
  }
  ASSERT_TRUE(handoff.WriteList(L"QMRT_WRITE_BY_20090501_ENSTART", {done.wstring(), fresh.wstring()}));

  VellumoProcess program(L"-enstart");
  HWND dialog = program.WaitDialog(L"Quennel - Encrypt Files");
  ASSERT_NE(dialog, nullptr);
  const std::pair<int, const wchar_t*> controls[] = {
      {IDC_CHECK_MANUAL, L"Manual key"},       {IDC_CHECK_PACK, L"Pack (ZIP)"},
      {IDC_LABEL_CIPHER, L"Cipher:"},          {IDC_BTN_ADD_FILES, L"Add files..."},
      {IDC_BTN_ADD_FOLDER, L"Add folder..."}, {IDC_BTN_REMOVE, L"Remove"},
      {IDC_BTN_START, L"Start"},               {IDC_BTN_QUIT, L"Quit"},
  };
  for (const auto& [id, text] : controls) EXPECT_EQ(Text(dialog, id), text) << id;

  Click(dialog, IDC_BTN_START);
  EXPECT_EQ(program.DismissBox(IDOK, 20000, kCaption), L"The file " + done.wstring() + L" is already encrypted.");
  HWND summary = program.WaitDialog(L"Results");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(Text(summary, IDC_SUMMARY_TOTAL), L"Files processed: 2");
  EXPECT_EQ(Text(summary, IDC_SUMMARY_COUNTS), L"1 done, 1 skipped, 0 failed, 0 not started.");
  EXPECT_EQ(ListRows(summary, IDC_SUMMARY_LIST, 2), (Rows{{done.wstring(), L"already encrypted"}}));
  EXPECT_EQ(Text(dialog, IDC_STATUS), L"Files processed: 2");
  EXPECT_EQ(Text(dialog, IDC_PROGRESS_TEXT), L"2 of 2 files done");  // nothing left, no time left shown
  Click(summary, IDOK);
  EXPECT_TRUE(program.WaitExit());
}

TEST_F(EnglishE2E, DecryptionAndTheManualKey) {
  VellumoProcess program(L"-destart");
  HWND dialog = program.WaitDialog(L"Quennel - Decrypt Files");
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDC_CHECK_MANUAL);
  HWND input = program.WaitDialog(L"Enter a Key");
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(Text(input, IDC_CHECK_SHOW_KEY), L"Show key");
  Click(input, IDOK);
  EXPECT_EQ(program.DismissBox(IDOK, 20000, kCaption), L"The key must not be empty.");
  SetText(input, IDC_EDIT_MANUAL_KEY, L"a\u0E01");
  SetText(input, IDC_EDIT_MANUAL_CONFIRM, L"a\u0E01");
  Click(input, IDOK);
  EXPECT_EQ(program.DismissBox(IDOK, 20000, kCaption),
            L"The key has characters that the system code page (1252) cannot hold. Please use other characters.");
  Click(input, IDCANCEL);
  ASSERT_NE(program.WaitDialog(L"Quennel - Decrypt Files"), nullptr);
  Click(dialog, IDC_BTN_QUIT);
  EXPECT_TRUE(program.WaitExit());
}

TEST_F(EnglishE2E, SettingsKeysAndAbout) {
  VellumoProcess program(L"-sysset");
  HWND dialog = program.WaitDialog(L"Quennel - Settings");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ListRows(dialog, IDC_KEY_LIST, 4), (Rows{{L"1", L"work", L"\u25CF\u25CF\u25CF\u25CF", L"office"}}));
  for (const auto& [id, text] : {std::pair{IDC_CHECK_SHOW_KEYS, L"Show keys"}, std::pair{IDC_BTN_ADD, L"Add"},
                                 std::pair{IDC_BTN_EDIT, L"Edit"}, std::pair{IDC_BTN_DELETE, L"Delete"},
                                 std::pair{IDOK, L"OK"}, std::pair{IDCANCEL, L"Cancel"}})
    EXPECT_EQ(Text(dialog, id), text) << id;

  Click(dialog, IDC_BTN_ADD);
  HWND properties = program.WaitDialog(L"Key");
  ASSERT_NE(properties, nullptr);
  SetText(properties, IDC_EDIT_KEY, L"one");
  SetText(properties, IDC_EDIT_KEY_CONFIRM, L"two");
  Click(properties, IDOK);
  EXPECT_EQ(program.DismissBox(IDOK, 20000, kCaption), L"The two keys differ. Please type them again.");
  SetText(properties, IDC_EDIT_KEY_CONFIRM, L"one");
  Click(properties, IDOK);
  EXPECT_EQ(program.DismissBox(IDOK, 20000, kCaption), L"The name and the key must not be empty.");

  SelectListRow(dialog, IDC_KEY_LIST, 0);
  Click(dialog, IDC_BTN_DELETE);
  EXPECT_EQ(program.DismissBox(IDCANCEL, 20000, kCaption), L"Delete the key work?");

  PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = program.WaitDialog(L"About Vellumo");
  ASSERT_NE(about, nullptr);
  Click(about, IDOK);
  for (int i = 0; i < 200 && IsWindow(about); ++i) Sleep(25);
  Click(dialog, IDOK);
  EXPECT_TRUE(program.WaitExit());
}

TEST_F(EnglishE2E, TheClipboardDialog) {
  fs::remove(appData.keyDatabase());
  SeedKeys(appData.keyDatabase(), {});
  VellumoProcess program(L"-enslipstart");
  HWND dialog = program.WaitDialog(L"Quennel - Clipboard");
  ASSERT_NE(dialog, nullptr);
  Click(dialog, IDOK);
  EXPECT_EQ(program.DismissBox(IDOK, 20000, kCaption), L"Please choose a key first.");
  Click(dialog, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
}

}  // namespace
}  // namespace vellumo::testing
