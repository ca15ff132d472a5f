// The key list dialog ("-sysset") end to end: keys with Chinese names added,
// edited and deleted through the dialogs, and the bytes that land in the
// key database checked.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "crypto/ansi_codepage.h"
#include "gui_driver_win32.h"
#include "resources/resource.h"
#include "test_support.h"

namespace vellumo::testing {
namespace {

constexpr wchar_t kTitle[] = L"Quennel-参数设置";
constexpr wchar_t kHidden[] = L"\u25CF\u25CF\u25CF\u25CF";
// A Thai letter: no Chinese code page has it.
constexpr wchar_t kNotInGbk[] = L"key\u0E01";

class KeyDialogsE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    // A recent check: the settings dialog must not go looking for updates.
    std::filesystem::create_directories(appData.settingsFolder());
    std::string ini = "[UPDATE]\r\nLASTTIME=" + std::to_string(static_cast<uint32_t>(time(nullptr))) + "\r\n";
    WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));
  }

  // Fills the key properties dialog opened by `button` (the key typed twice)
  // and presses `finish`.
  static void FillProperties(const VellumoProcess& program, HWND dialog, int button, const std::wstring& name,
                             const std::wstring& value, const std::wstring& about, int finish = IDOK) {
    Click(dialog, button);
    HWND properties = program.WaitDialog(L"密钥");
    ASSERT_NE(properties, nullptr);
    SetText(properties, IDC_EDIT_NAME, name);
    SetText(properties, IDC_EDIT_KEY, value);
    SetText(properties, IDC_EDIT_KEY_CONFIRM, value);
    SetText(properties, IDC_EDIT_ABOUT, about);
    Click(properties, finish);
    for (int i = 0; i < 200 && IsWindow(properties); ++i) Sleep(25);
  }

  static bool Masked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), EM_GETPASSWORDCHAR, 0, 0) != 0;
  }

  // The program writes the table after the properties dialog has closed, so
  // the test waits (a few seconds at most) for the change to land rather than
  // reading at once; on time-out it returns what is there for the checks.
  using Table = std::vector<std::vector<std::string>>;
  Table RowsOnceSettled(const std::function<bool(const Table&)>& settled) {
    Table rows = KeyTableBytes(appData.keyDatabase());
    for (int i = 0; i < 200 && !settled(rows); ++i) {
      Sleep(25);
      rows = KeyTableBytes(appData.keyDatabase());
    }
    return rows;
  }
  Table RowsOnceSettled(size_t count) {
    return RowsOnceSettled([count](const Table& rows) { return rows.size() == count; });
  }

  static std::vector<std::string> Row(int id, const std::wstring& name, const std::wstring& value,
                                      const std::wstring& about) {
    return {std::to_string(id), ToAnsi(name), ToAnsi(value), ToAnsi(about)};
  }

  ScopedAppData appData;
};

TEST_F(KeyDialogsE2E, AddsEditsAndDeletesKeysStoredAsGbk) {
  SeedKeys(appData.keyDatabase(), {});
  VellumoProcess program(L"-sysset");
  HWND dialog = program.WaitDialog(kTitle);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ListRowCount(dialog, IDC_KEY_LIST), 0);

  FillProperties(program, dialog, IDC_BTN_ADD, L"中文", L"密钥一", L"");
  FillProperties(program, dialog, IDC_BTN_ADD, L"家庭", L"it's", L"带'引号");
  // The table holds the ANSI (GBK) bytes, not UTF-8.
  auto rows = RowsOnceSettled(2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(rows[0], Row(1, L"中文", L"密钥一", L""));
  EXPECT_EQ(rows[1], Row(2, L"家庭", L"it's", L"带'引号"));
  auto shown = ListRows(dialog, IDC_KEY_LIST, 4);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], (std::vector<std::wstring>{L"2", L"家庭", kHidden, L"带'引号"}));

  // An empty key text stores nothing.
  FillProperties(program, dialog, IDC_BTN_ADD, L"空", L"", L"");
  EXPECT_EQ(program.DismissBox(), L"名称或密钥不能为空!");
  EXPECT_EQ(KeyTableBytes(appData.keyDatabase()).size(), 2u);

  // Edit and delete without a selected row do nothing and show nothing.
  Click(dialog, IDC_BTN_EDIT);
  Click(dialog, IDC_BTN_DELETE);
  EXPECT_EQ(program.WaitDialog(L"提示", 500), nullptr);
  EXPECT_EQ(program.WaitDialog(L"密钥", 0), nullptr);

  SelectListRow(dialog, IDC_KEY_LIST, 0);
  FillProperties(program, dialog, IDC_BTN_EDIT, L"工作", L"新密钥", L"备注");
  rows = RowsOnceSettled([](const Table& t) { return !t.empty() && t[0][1] == ToAnsi(L"工作"); });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], Row(1, L"工作", L"新密钥", L"备注"));

  // Deleting the key with the greatest id gives that id to the next key.
  SelectListRow(dialog, IDC_KEY_LIST, 1);
  Click(dialog, IDC_BTN_DELETE);
  EXPECT_EQ(program.DismissBox(IDCANCEL), L"确定要删除密钥: 家庭 吗?");
  EXPECT_EQ(KeyTableBytes(appData.keyDatabase()).size(), 2u);
  Click(dialog, IDC_BTN_DELETE);
  EXPECT_EQ(program.DismissBox(IDOK), L"确定要删除密钥: 家庭 吗?");
  FillProperties(program, dialog, IDC_BTN_ADD, L"新", L"v", L"");
  rows = RowsOnceSettled([](const Table& t) { return t.size() == 2 && t[1][1] == ToAnsi(L"新"); });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], Row(2, L"新", L"v", L""));

  // Cancel keeps what was written.
  Click(dialog, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(KeyTableBytes(appData.keyDatabase()).size(), 2u);
}

TEST_F(KeyDialogsE2E, AFreshProfileGetsTheInstalledTemplate) {
  ASSERT_FALSE(std::filesystem::exists(appData.keyDatabase()));
  VellumoProcess program(L"-sysset");
  HWND dialog = program.WaitDialog(kTitle);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(std::filesystem::exists(appData.keyDatabase()));
  FillProperties(program, dialog, IDC_BTN_ADD, L"第一", L"k1", L"");
  auto shown = ListRows(dialog, IDC_KEY_LIST, 4);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back()[1], L"第一");
  Click(dialog, IDOK);
  EXPECT_TRUE(program.WaitExit());
}

TEST_F(KeyDialogsE2E, PlusInTheFileDialogAddsKeysThatItOffersAtOnce) {
  SeedKeys(appData.keyDatabase(), {{5, L"旧", L"old", L""}});
  VellumoProcess program(L"-enstart");
  HWND fileDialog = program.WaitDialog(L"Quennel-文件加密");
  ASSERT_NE(fileDialog, nullptr);
  SelectComboEntry(fileDialog, IDC_KEY_COMBO, -1);
  Click(fileDialog, IDC_BTN_PLUS);
  HWND settings = program.WaitDialog(kTitle);
  ASSERT_NE(settings, nullptr);
  FillProperties(program, settings, IDC_BTN_ADD, L"新钥", L"new", L"");
  Click(settings, IDOK);
  for (int i = 0; i < 200 && IsWindow(settings); ++i) Sleep(25);
  EXPECT_EQ(ComboCount(fileDialog, IDC_KEY_COMBO), 2);
  EXPECT_EQ(SendMessageW(GetDlgItem(fileDialog, IDC_KEY_COMBO), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(KeyTableBytes(appData.keyDatabase()).back(), Row(6, L"新钥", L"new", L""));
  Click(fileDialog, IDC_BTN_QUIT);
  EXPECT_TRUE(program.WaitExit());
}

TEST_F(KeyDialogsE2E, KeyTextsStayHiddenUntilAskedFor) {
  SeedKeys(appData.keyDatabase(), {{1, L"工作", L"工作密钥-2024", L""}, {2, L"家庭", L"home", L"家里的"}});
  VellumoProcess program(L"-sysset");
  HWND dialog = program.WaitDialog(kTitle);
  ASSERT_NE(dialog, nullptr);
  using Rows = std::vector<std::vector<std::wstring>>;
  const Rows hidden = {{L"1", L"工作", kHidden, L""}, {L"2", L"家庭", kHidden, L"家里的"}};
  const Rows clear = {{L"1", L"工作", L"工作密钥-2024", L""}, {L"2", L"家庭", L"home", L"家里的"}};
  EXPECT_EQ(ListRows(dialog, IDC_KEY_LIST, 4), hidden);
  EXPECT_FALSE(IsChecked(dialog, IDC_CHECK_SHOW_KEYS));
  SelectListRow(dialog, IDC_KEY_LIST, 1);
  Click(dialog, IDC_CHECK_SHOW_KEYS);
  for (int i = 0; i < 200 && ListRows(dialog, IDC_KEY_LIST, 4) != clear; ++i) Sleep(25);
  EXPECT_EQ(ListRows(dialog, IDC_KEY_LIST, 4), clear);
  Click(dialog, IDC_CHECK_SHOW_KEYS);
  for (int i = 0; i < 200 && ListRows(dialog, IDC_KEY_LIST, 4) != hidden; ++i) Sleep(25);
  EXPECT_EQ(ListRows(dialog, IDC_KEY_LIST, 4), hidden);

  // The properties of the selected key: both key fields hidden, shown on request.
  Click(dialog, IDC_BTN_EDIT);
  HWND properties = program.WaitDialog(L"密钥");
  ASSERT_NE(properties, nullptr);
  EXPECT_EQ(GetText(GetDlgItem(properties, IDC_EDIT_NAME)), L"家庭");
  for (int id : {IDC_EDIT_KEY, IDC_EDIT_KEY_CONFIRM}) EXPECT_TRUE(Masked(properties, id)) << id;
  Click(properties, IDC_CHECK_SHOW_KEY);
  for (int i = 0; i < 200 && Masked(properties, IDC_EDIT_KEY); ++i) Sleep(25);
  for (int id : {IDC_EDIT_KEY, IDC_EDIT_KEY_CONFIRM}) EXPECT_FALSE(Masked(properties, id)) << id;
  Click(properties, IDC_CHECK_SHOW_KEY);
  for (int i = 0; i < 200 && !Masked(properties, IDC_EDIT_KEY); ++i) Sleep(25);
  for (int id : {IDC_EDIT_KEY, IDC_EDIT_KEY_CONFIRM}) EXPECT_TRUE(Masked(properties, id)) << id;
  // A new note alone keeps the stored key: it was never read from the list.
  SetText(properties, IDC_EDIT_ABOUT, L"新备注");
  Click(properties, IDOK);
  auto rows = RowsOnceSettled([](const Table& t) { return t.size() == 2 && t[1][3] == ToAnsi(L"新备注"); });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], Row(2, L"家庭", L"home", L"新备注"));
  Click(dialog, IDOK);
  EXPECT_TRUE(program.WaitExit());
}

TEST_F(KeyDialogsE2E, ANewKeyIsTypedTwiceAndMustFitTheCodePage) {
  SeedKeys(appData.keyDatabase(), {{1, L"旧", L"old", L""}});
  const std::wstring codePageRefusal = L"密钥中有当前系统编码（代码页 936）无法表示的字符，请换用其他字符！";
  struct Case {
    const char* what;
    int button;
    std::wstring key, confirmation, box;
  } cases[] = {
      {"add, typed differently", IDC_BTN_ADD, L"abc", L"abC", L"两个密钥不同，请重新输入！"},
      {"add, outside the code page", IDC_BTN_ADD, kNotInGbk, kNotInGbk, codePageRefusal},
      {"edit to a key outside the code page", IDC_BTN_EDIT, kNotInGbk, kNotInGbk, codePageRefusal},
      {"edit, confirmation left as it was", IDC_BTN_EDIT, L"new", L"old", L"两个密钥不同，请重新输入！"},
  };
  VellumoProcess program(L"-sysset");
  HWND dialog = program.WaitDialog(kTitle);
  ASSERT_NE(dialog, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SelectListRow(dialog, IDC_KEY_LIST, 0);
    Click(dialog, c.button);
    HWND properties = program.WaitDialog(L"密钥");
    ASSERT_NE(properties, nullptr);
    SetText(properties, IDC_EDIT_NAME, L"新");
    SetText(properties, IDC_EDIT_KEY, c.key);
    SetText(properties, IDC_EDIT_KEY_CONFIRM, c.confirmation);
    Click(properties, IDOK);
    EXPECT_EQ(program.DismissBox(), c.box);
    // Still open, with what was typed, for the user to put right.
    ASSERT_TRUE(IsWindow(properties));
    EXPECT_EQ(GetText(GetDlgItem(properties, IDC_EDIT_KEY)), c.key);
    Click(properties, IDCANCEL);
    for (int i = 0; i < 200 && IsWindow(properties); ++i) Sleep(25);
  }
  EXPECT_EQ(KeyTableBytes(appData.keyDatabase()), (Table{Row(1, L"旧", L"old", L"")}));

  // The file window's own setting lives here too, written at once.
  EXPECT_TRUE(IsChecked(dialog, IDC_CHECK_AUTO_CLOSE));
  Click(dialog, IDC_CHECK_AUTO_CLOSE);
  wchar_t value[16] = {};
  for (int i = 0; i < 200 && value[0] != L'0'; ++i) {
    Sleep(25);
    GetPrivateProfileStringW(L"DETYPE", L"AUTOCLOSE", L"", value, 16, appData.settingsFile().c_str());
  }
  EXPECT_STREQ(value, L"0");
  Click(dialog, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
}

}  // namespace
}  // namespace vellumo::testing
