// Opens every dialog of Vellumo.exe in turn, with sample keys and files, and
// has scripts/render-dialogs take a picture of each (named after the dialog,
// then SUFFIX) in OUTPUT_FOLDER. The dialogs speak the language of the Wine
// it runs in; with ONLY, just the pictures of that name are taken.
//   render_dialogs OUTPUT_FOLDER [SUFFIX [ONLY]]
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/key_block.h"
#include "fileenc/file_engine.h"
#include "gui_driver_win32.h"
#include "handoff/handoff_block_win32.h"
#include "resources/resource.h"
#include "test_support.h"

namespace vt = vellumo::testing;
namespace fs = std::filesystem;

namespace {

// The titles the dialogs have in the language this Wine speaks.
struct Titles {
  const wchar_t* encrypt;
  const wchar_t* decrypt;
  const wchar_t* manualKey;
  const wchar_t* clipboard;
  const wchar_t* settings;
  const wchar_t* key;
  const wchar_t* about;
  const wchar_t* summary;
  const wchar_t* box;
};
const Titles kChinese = {L"Quennel-文件加密", L"Quennel-文件解密", L"密钥输入对话框", L"Quennel-剪贴板加解密",
                         L"Quennel-参数设置", L"密钥", L"关于 Vellumo", L"处理结果", L"提示"};
const Titles kEnglish = {L"Quennel - Encrypt Files", L"Quennel - Decrypt Files", L"Enter a Key",
                         L"Quennel - Clipboard", L"Quennel - Settings", L"Key", L"About Vellumo", L"Results",
                         L"Vellumo"};

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

// A file of `size` bytes that takes no room on the disk: a run over it lasts
// long enough to be pictured in the middle.
void MakeHollowFile(const fs::path& path, uint64_t size) {
  std::ofstream out(path, std::ios::binary);
  out.seekp(static_cast<std::streamoff>(size - 1));
  out.put('\0');
}

class NoReports : public vellumo::Reporter {
 public:
  void FileStarted(vellumo::Direction, const std::wstring&) override {}
  void Refuse(vellumo::FileMessage, const std::wstring&) override {}
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: render_dialogs OUTPUT_FOLDER [SUFFIX [ONLY]]\n");
    return 2;
  }
  const fs::path out = argv[1];
  const std::wstring suffix = argc > 2 ? argv[2] : L"";
  const std::wstring only = argc > 3 ? argv[3] : L"";
  fs::create_directories(out);
  const bool english = PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_CHINESE;
  const Titles& title = english ? kEnglish : kChinese;

  vt::ScopedAppData appData;
  if (english) {
    vt::SeedKeys(appData.keyDatabase(), {{1, L"Work", L"work-2024", L"office files"},
                                         {2, L"Home", L"home-key", L"photos"},
                                         {3, L"Backup", L"backup#7", L""}});
  } else {
    vt::SeedKeys(appData.keyDatabase(), {{1, L"工作", L"工作密钥-2024", L"办公室文件"},
                                         {2, L"家庭", L"home-key", L"家里的照片"},
                                         {3, L"备份", L"backup#7", L""}});
  }
  std::string ini = "[UPDATE]\r\nLASTTIME=" + std::to_string(static_cast<uint32_t>(std::time(nullptr))) + "\r\n";
  vt::WriteFileBytes(appData.settingsFile(), std::vector<uint8_t>(ini.begin(), ini.end()));

  vt::TempDir files;
  std::vector<std::wstring> paths;
  for (const wchar_t* name : english ? std::vector<const wchar_t*>{L"Quarterly report.docx", L"Contract scan.pdf", L"Photos"}
                                     : std::vector<const wchar_t*>{L"季度报告.docx", L"合同扫描件.pdf", L"照片"}) {
    fs::path path = files / name;
    if (path.extension().empty())
      fs::create_directories(path);
    else
      vt::WriteFileBytes(path, {1, 2, 3});
    paths.push_back(path.wstring());
  }
  vellumo::CProcessMap handoff;
  int failures = 0;
  auto wanted = [&](const wchar_t* name) { return only.empty() || only == name; };
  auto save = [&](HWND window, const wchar_t* name) {
    if (!wanted(name)) return;
    if (window == nullptr || !SaveWindow(window, out, name + suffix)) {
      std::fprintf(stderr, "could not capture %ls\n", name);
      ++failures;
    }
  };

  for (int decrypt = 0; decrypt < 2; ++decrypt) {
    if (!wanted(L"file-encrypt") && !wanted(L"file-decrypt") && !wanted(L"manual-key")) break;
    handoff.WriteList(L"QMRT_WRITE_BY_20090501_ENSTART", paths);
    vt::VellumoProcess program(decrypt ? L"-destart" : L"-enstart");
    HWND dialog = program.WaitDialog(decrypt ? title.decrypt : title.encrypt);
    save(dialog, decrypt ? L"file-decrypt" : L"file-encrypt");
    if (dialog == nullptr) continue;
    if (!decrypt && wanted(L"manual-key")) {
      vt::Click(dialog, IDC_CHECK_MANUAL);
      HWND input = program.WaitDialog(title.manualKey);
      if (input != nullptr) {
        vt::SetText(input, IDC_EDIT_MANUAL_KEY, L"secret");
        vt::SetText(input, IDC_EDIT_MANUAL_CONFIRM, L"secret");
      }
      save(input, L"manual-key");
      if (input != nullptr) vt::Click(input, IDCANCEL);
      WaitGone(input);
    }
    vt::Click(dialog, IDC_BTN_QUIT);
    program.WaitExit();
  }

  // A run in the middle of a large file, after two files it refused; then
  // stopped, and the summary that tells of all three.
  if (wanted(L"file-progress") || wanted(L"summary")) {
    std::vector<std::wstring> run;
    for (const wchar_t* name : english ? std::vector<const wchar_t*>{L"Minutes (encrypted).txt", L"Budget (encrypted).xlsx"}
                                       : std::vector<const wchar_t*>{L"会议纪要（已加密）.txt", L"预算（已加密）.xlsx"}) {
      const fs::path path = files / name;
      vt::WriteFileBytes(path, {4, 5, 6});
      NoReports quiet;
      vellumo::FileEngine engine(quiet);
      const vellumo::KeyBlock key = vellumo::MakeKeyBlock(english ? L"work-2024" : L"工作密钥-2024");
      engine.ProcessFile({path.wstring(), &key, 0, false, false});
      run.push_back(path.wstring());
    }
    const fs::path big = files / (english ? L"Archive\\2023\\Projects\\Site survey\\Raw video (all cameras).mov"
                                          : L"资料\\2023\\项目\\现场勘查\\原始录像（全部机位）.mov");
    fs::create_directories(big.parent_path());
    MakeHollowFile(big, uint64_t{2} << 30);
    run.push_back(big.wstring());
    handoff.WriteList(L"QMRT_WRITE_BY_20090501_ENSTART", run);
    vt::VellumoProcess program(L"-enstart");
    HWND dialog = program.WaitDialog(title.encrypt);
    if (dialog != nullptr) {
      vt::Click(dialog, IDC_BTN_START);
      program.DismissBox(IDOK, 20000, title.box);
      program.DismissBox(IDOK, 20000, title.box);
      const int end = vt::ProgressEnd(dialog, IDC_PROGRESS);
      for (int i = 0; i < 2000 && vt::ProgressPosition(dialog, IDC_PROGRESS) < end / 5; ++i) Sleep(10);
      save(dialog, L"file-progress");
      vt::Click(dialog, IDC_BTN_QUIT);
      HWND summary = program.WaitDialog(title.summary, 60000);
      save(summary, L"summary");
      if (summary != nullptr) vt::Click(summary, IDOK);
    }
    program.WaitExit();
    fs::remove(big);
  }

  if (wanted(L"clipboard")) {
    vt::VellumoProcess program(L"-enslipstart");
    HWND dialog = program.WaitDialog(title.clipboard);
    save(dialog, L"clipboard");
    if (dialog != nullptr) vt::Click(dialog, IDCANCEL);
    program.WaitExit();
  }

  if (wanted(L"settings") || wanted(L"key-properties") || wanted(L"about")) {
    vt::VellumoProcess program(L"-sysset");
    HWND dialog = program.WaitDialog(title.settings);
    save(dialog, L"settings");
    if (dialog != nullptr) {
      vt::SelectListRow(dialog, IDC_KEY_LIST, 1);
      vt::Click(dialog, IDC_BTN_EDIT);
      HWND properties = program.WaitDialog(title.key);
      save(properties, L"key-properties");
      if (properties != nullptr) vt::Click(properties, IDCANCEL);
      WaitGone(properties);
      PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
      HWND about = program.WaitDialog(title.about);
      save(about, L"about");
      if (about != nullptr) vt::Click(about, IDOK);
      WaitGone(about);
      vt::Click(dialog, IDCANCEL);
    }
    program.WaitExit();
  }
  return failures == 0 ? 0 : 1;
}
