// Opens every dialog of Vellumo.exe in turn, with sample keys and files, and
// has scripts/render-dialogs take a picture of each (named after the dialog)
// in the folder given as the only argument.
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "gui_driver_win32.h"
#include "resources/resource.h"
#include "handoff/handoff_block_win32.h"
#include "test_support.h"

namespace vt = vellumo::testing;
namespace fs = std::filesystem;

namespace {

// Asks the script for a picture of the window: writes <name>.req with the
// window's rectangle on the desktop and waits for <name>.png to appear.
bool SaveWindow(HWND window, const fs::path& folder, const std::wstring& name) {
  Sleep(500);  // let it paint
  RECT rect;
  GetWindowRect(window, &rect);
  fs::path request = folder / (name + L".req"), picture = folder / (name + L".png");
  FILE* out = _wfopen((request.wstring() + L".tmp").c_str(), L"w");
  if (out == nullptr) return false;
  std::fprintf(out, "%ld %ld %ld %ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
  std::fclose(out);
  fs::rename(request.wstring() + L".tmp", request);
  for (int i = 0; i < 300; ++i) {
    if (fs::exists(picture)) return true;
    Sleep(100);
  }
  return false;
}

void WaitGone(HWND window) {
  for (int i = 0; i < 200 && IsWindow(window); ++i) Sleep(25);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: render_dialogs OUTPUT_FOLDER\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::create_directories(out);

  vt::ScopedAppData appData;
  vt::SeedKeys(appData.keyDatabase(), {{1, L"工作", L"工作密钥-2024", L"办公室文件"},
                                       {2, L"家庭", L"home-key", L"家里的照片"},
                                       {3, L"备份", L"backup#7", L""}});
  std::string ini = "[UPDATE]\r\nLASTTIME=" + std::to_string(static_cast<uint32_t>(std::time(nullptr))) + "\r\n";
  vt::WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));

  vt::TempDir files;
  std::vector<std::wstring> paths;
  for (const wchar_t* name : {L"季度报告.docx", L"合同扫描件.pdf", L"照片"}) {
    fs::path path = files / name;
    if (std::wstring(name) == L"照片")
      fs::create_directories(path);
    else
      vt::WriteFileBytes(path, {1, 2, 3});
    paths.push_back(path.wstring());
  }
  vellumo::CProcessMap handoff;
  int failures = 0;
  auto save = [&](HWND window, const wchar_t* name) {
    if (window == nullptr || !SaveWindow(window, out, name)) {
      std::fprintf(stderr, "could not capture %ls\n", name);
      ++failures;
    }
  };

  for (int decrypt = 0; decrypt < 2; ++decrypt) {
    handoff.WriteList(L"QMRT_WRITE_BY_20090501_ENSTART", paths);
    vt::VellumoProcess program(decrypt ? L"-destart" : L"-enstart");
    HWND dialog = program.WaitDialog(decrypt ? L"Quennel-文件解密" : L"Quennel-文件加密");
    save(dialog, decrypt ? L"file-decrypt" : L"file-encrypt");
    if (dialog == nullptr) continue;
    if (!decrypt) {
      vt::Click(dialog, IDC_CHECK_MANUAL);
      HWND input = program.WaitDialog(L"密钥输入对话框");
      save(input, L"manual-key");
      if (input != nullptr) vt::Click(input, IDCANCEL);
      WaitGone(input);
    }
    vt::Click(dialog, IDC_BTN_QUIT);
    program.WaitExit();
  }

  {
    vt::VellumoProcess program(L"-enslipstart");
    HWND dialog = program.WaitDialog(L"Quennel-剪贴板加解密");
    save(dialog, L"clipboard");
    if (dialog != nullptr) vt::Click(dialog, IDCANCEL);
    program.WaitExit();
  }

  {
    vt::VellumoProcess program(L"-sysset");
    HWND dialog = program.WaitDialog(L"Quennel-参数设置");
    save(dialog, L"settings");
    if (dialog != nullptr) {
      vt::SelectListRow(dialog, IDC_KEY_LIST, 1);
      vt::Click(dialog, IDC_BTN_EDIT);
      HWND properties = program.WaitDialog(L"密钥");
      save(properties, L"key-properties");
      if (properties != nullptr) vt::Click(properties, IDCANCEL);
      WaitGone(properties);
      PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
      HWND about = program.WaitDialog(L"关于 Vellumo");
      save(about, L"about");
      if (about != nullptr) vt::Click(about, IDOK);
      WaitGone(about);
      vt::Click(dialog, IDCANCEL);
    }
    program.WaitExit();
  }
  return failures == 0 ? 0 : 1;
}
