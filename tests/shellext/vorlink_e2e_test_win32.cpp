// The shell extension with the real Vellumo.exe beside it: "加密" on a
// selection starts the program, its file dialog lists the selection, and the
// run encrypts the files.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "crypto/crc32.h"
#include "crypto/key_block.h"
#include "gui_driver_win32.h"
#include "resources/resource.h"
#include "test_support.h"
#include "vorlink_host_win32.h"

namespace vellumo::testing {
namespace {

namespace fs = std::filesystem;

const CLSID kShellExt = {0x0E32FA5F, 0x9183, 0x4870, {0x8B, 0x12, 0x0A, 0xB6, 0x3F, 0x4A, 0xD2, 0x95}};

// The visible file dialog of whichever process shows it.
HWND WaitForDialog(const wchar_t* title) {
  for (int i = 0; i < 400; ++i) {
    HWND dialog = FindWindowW(L"#32770", title);
    if (dialog && IsWindowVisible(dialog)) {
      DWORD_PTR ignored;
      SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
      return dialog;
    }
    Sleep(50);
  }
  return nullptr;
}

TEST(VorlinkEndToEnd, EncryptFromTheMenuEncryptsTheSelection) {
  ScopedAppData appData;
  const std::wstring key = L"工作密钥-2024";
  SeedKeys(appData.keyDatabase(), {{1, L"工作", key, L""}});
  // A profile that chose AES before the sealed format came: the legacy bytes below.
  const std::string ini = "[DETYPE]\r\nTYPE=0\r\n";
  WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));
  TempDir work;
  fs::create_directories(work / L"我的 文档");
  const std::vector<uint8_t> first = {'h', 'e', 'l', 'l', 'o'};
  const std::vector<uint8_t> second(5000, 0x5A);
  const fs::path a = work / L"我的 文档" / L"报告 1.txt";
  const fs::path b = work / L"data.bin";
  WriteFileBytes(a, first);
  WriteFileBytes(b, second);

  SetClipboardHasText(false);
  auto* menu = CreateVorlinkObject<IContextMenu>(kShellExt, IID_IContextMenu);
  ASSERT_TRUE(menu);
  IShellExtInit* init = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  IDataObject* selection = NewDropList({a.wstring(), b.wstring()});
  ASSERT_EQ(init->Initialize(nullptr, selection, nullptr), S_OK);
  selection->Release();
  init->Release();
  HMENU popup = CreatePopupMenu();
  ASSERT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
  CMINVOKECOMMANDINFO command = {};
  command.cbSize = sizeof command;
  command.lpVerb = MAKEINTRESOURCEA(0);  // "加密"
  EXPECT_EQ(menu->InvokeCommand(&command), S_OK);
  DestroyMenu(popup);
  menu->Release();

  HWND dialog = WaitForDialog(L"Quennel-文件加密");
  ASSERT_NE(dialog, nullptr);
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  ASSERT_NE(process, nullptr);
  wchar_t image[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  ASSERT_TRUE(QueryFullProcessImageNameW(process, 0, image, &size));
  EXPECT_EQ(std::wstring(image), Vorlink().folder + L"Vellumo.exe");

  auto rows = ListRows(dialog, IDC_FILE_LIST, 2);
  EXPECT_EQ(rows, (std::vector<std::vector<std::wstring>>{{L"1", a.wstring()}, {L"2", b.wstring()}}));
  SelectComboEntry(dialog, IDC_KEY_COMBO, 0);
  Click(dialog, IDC_BTN_START);
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0) << "the program did not end after its run";
  CloseHandle(process);

  const KeyBlock block = MakeKeyBlock(key);
  for (const auto& [path, plain] : {std::pair{a, first}, std::pair{b, second}}) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), plain.size() + 64) << path;
    uint32_t magic, keyCheck;
    std::memcpy(&magic, &bytes[0], 4);
    std::memcpy(&keyCheck, &bytes[24], 4);
    EXPECT_EQ(magic, 0x21436587u) << path;
    EXPECT_EQ(keyCheck, Crc32Of(block.data(), block.size())) << path;
    EXPECT_NE(std::vector<uint8_t>(bytes.begin() + 64, bytes.end()), plain) << path;
  }
}

}  // namespace
}  // namespace vellumo::testing
