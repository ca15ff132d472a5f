// A copy of the shell extension under another file name finds no module named
// Vorlink64.dll and starts Vellumo.exe from the host program's folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "vorlink_host_win32.h"

namespace vellumo::testing {
namespace {

const CLSID kShellExt = {0x0E32FA5F, 0x9183, 0x4870, {0x8B, 0x12, 0x0A, 0xB6, 0x3F, 0x4A, 0xD2, 0x95}};

TEST(VorlinkRenamed, StartsTheProgramBesideTheHost) {
  ASSERT_EQ(GetModuleHandleW(L"Vorlink64.dll"), nullptr);
  wchar_t host[MAX_PATH * 2];
  GetModuleFileNameW(nullptr, host, MAX_PATH * 2);
  std::wstring hostFolder(host);
  hostFolder.resize(hostFolder.find_last_of(L'\\') + 1);

  SetClipboardHasText(true);
  auto* menu = CreateVorlinkObject<IContextMenu>(kShellExt, IID_IContextMenu);
  ASSERT_TRUE(menu);
  HMENU popup = CreatePopupMenu();
  ASSERT_EQ(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
  ClearStartRecords();
  CMINVOKECOMMANDINFO command = {};
  command.cbSize = sizeof command;
  command.lpVerb = MAKEINTRESOURCEA(2);  // "参数设置"
  EXPECT_EQ(menu->InvokeCommand(&command), S_OK);
  std::vector<StartRecord> started = WaitForStartRecords(1);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, hostFolder + L"Vellumo.exe");
  EXPECT_EQ(started[0].commandLine, L"\"" + hostFolder + L"Vellumo.exe\" -sysset");
  DestroyMenu(popup);
  menu->Release();
  SetClipboardHasText(false);
}

}  // namespace
}  // namespace vellumo::testing
