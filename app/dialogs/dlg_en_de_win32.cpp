#include "app/dialogs/dlg_en_de_win32.h"

#include <commctrl.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "app/dialogs/dialog_text.h"
#include "app/dialogs/dlg_key_mt_win32.h"
#include "app/dialogs/dlg_run_summary_win32.h"
#include "app/dialogs/file_texts_win32.h"
#include "app/dialogs/key_list_win32.h"
#include "app/dialogs/vellumo_dlg_win32.h"
#include "app/settings_win32.h"
#include "app/vellumo_app_win32.h"
#include "handoff/handoff_block_win32.h"
#include "handoff/handoff_layout.h"
#include "platform/owners_win32.h"
#include "resources/resource.h"

namespace vellumo {
namespace {

// Posted by the worker: a new progress report waits (at most ten a second,
// and never a second one while the first is still queued), and the run's end.
constexpr UINT WM_RUN_PROGRESS = WM_APP + 1;
constexpr UINT WM_RUN_FINISHED = WM_APP + 2;
constexpr ULONGLONG kProgressInterval = 100;  // ms

// Refusals past these many are not shown one by one: the summary lists them.
constexpr int kRefusalBoxes = 3;

const int kCipherButtons[] = {IDC_RADIO_AES, IDC_RADIO_DES, IDC_RADIO_RC4};
// What the user may change while idle; all of it waits while a run goes.
const int kIdleControls[] = {IDC_BTN_START,  IDC_BTN_ADD_FILES, IDC_BTN_ADD_FOLDER, IDC_BTN_REMOVE,
                             IDC_KEY_COMBO,  IDC_BTN_PLUS,      IDC_CHECK_MANUAL,   IDC_CHECK_PACK,
                             IDC_RADIO_AES,  IDC_RADIO_DES,     IDC_RADIO_RC4};

// The engine's voice in this dialog, on the worker thread. Progress and the
// file in hand go to the dialog by posted messages, so the worker never waits
// for it; a refusal is the designed message box, which does wait for the
// user, but only for the first few.
class DialogReporter : public Reporter {
 public:
  DialogReporter(HWND dialog, CDlgEnDe::WorkerReports& reports) : dialog_(dialog), reports_(reports) {}

  void FileStarted(Direction direction, const std::wstring& path) override {
    Update([&](CDlgEnDe::WorkerReports& r) {
      r.direction = direction;
      r.path = path;
    });
  }
  void Progress(const RunProgress& progress) override {
    Update([&](CDlgEnDe::WorkerReports& r) { r.progress = progress; });
  }
  void Refuse(FileMessage message, const std::wstring& path) override {
    if (boxesShown_ >= kRefusalBoxes) return;
    ++boxesShown_;
    MessageBoxW(dialog_, RefusalBoxText(message, path).c_str(), Text(IDS_CAPTION).c_str(), MB_OK | MB_TOPMOST);
  }

 private:
  template <typename Change>
  void Update(Change change) {
    const ULONGLONG now = GetTickCount64();
    bool post;
    {
      std::lock_guard<std::mutex> hold(reports_.lock);
      change(reports_);
      post = !reports_.progressPosted && now - lastPost_ >= kProgressInterval;
      if (post) reports_.progressPosted = true;
    }
    if (post) {
      lastPost_ = now;
      PostMessageW(dialog_, WM_RUN_PROGRESS, 0, 0);
    }
  }

  HWND dialog_;
  CDlgEnDe::WorkerReports& reports_;
  ULONGLONG lastPost_ = 0;
  int boxesShown_ = 0;
};

// Two spellings of one path: separators, a trailing separator and, as on
// Windows file systems, letter case do not count.
std::wstring ComparablePath(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  const std::wstring x = ComparablePath(a), y = ComparablePath(b);
  return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(), static_cast<int>(y.size()), TRUE) ==
         CSTR_EQUAL;
}

// `text` shortened in its middle to the width of a text control.
std::wstring FitToControl(HWND control, const std::wstring& text, size_t keep) {
  RECT client;
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  const std::wstring shown = FitMiddle(text, keep, [&](const std::wstring& line) {
    SIZE size{};
    GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    return size.cx <= client.right;
  });
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return shown;
}

void SetRowNumber(HWND list, int row) {
  std::wstring number = std::to_wstring(row + 1);
  ListView_SetItemText(list, row, 0, number.data());
}

}  // namespace

CDlgEnDe::CDlgEnDe() : CDialog(IDD_EN_DE), db_(theApp.keyDatabase(), theApp.keyDatabaseTemplate()) {}

CDlgEnDe::~CDlgEnDe() {
  // The dialog cannot close during a run; this only guards the object.
  if (worker_ != nullptr) {
    cancel_ = true;
    WaitForSingleObject(worker_, INFINITE);
    CloseHandle(worker_);
  }
}

BOOL CDlgEnDe::OnInitDialog() {
  HWND list = Item(IDC_FILE_LIST);
  // The number column as designed, scaled; the paths take the rest of the
  // list's width, whatever the scale and the dialog font make of it.
  const int numberWidth = ScaleForDpi(hwnd(), 60);
  InsertListColumn(list, 0, Text(IDS_COLUMN_NUMBER), numberWidth);
  InsertListColumn(list, 1, Text(IDS_COLUMN_FILE), RemainingListWidth(list, numberWidth));
  ListView_SetExtendedListViewStyle(
      list, ListView_GetExtendedListViewStyle(list) | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT);

  ReloadKeys();

  SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, kProgressRange);
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, 0, 0);

  std::vector<std::wstring> paths;
  HandoffBlock handoff;
  handoff.ReadList(kHandoffName, paths);
  if (!theApp.startFile.empty()) paths.push_back(theApp.startFile);
  AddPaths(paths);

  SetWindowTextW(hwnd(), Text(direction == Direction::kDecrypt ? IDS_TITLE_DECRYPT : IDS_TITLE_ENCRYPT).c_str());

  algorithm = ReadCipherType(theApp.settingsFile);
  // An unknown cipher id would be written into the header of a file whose
  // body stays plain; such a value selects AES instead.
  if (!algorithm.IsKnown()) algorithm = kAes;
  format = ReadFileFormat(theApp.settingsFile);
  pack = ReadPacking(theApp.settingsFile);

  if (direction == Direction::kDecrypt) {
    for (int id : {IDC_CHECK_PACK, IDC_RADIO_AES, IDC_RADIO_DES, IDC_RADIO_RC4, IDC_RADIO_SEALED, IDC_LABEL_CIPHER})
      ShowWindow(Item(id), SW_HIDE);
  }
  UpdateData(false);
  return TRUE;
}

void CDlgEnDe::UpdateData(bool saveAndValidate) {
  if (saveAndValidate) {
    for (int i = 0; i < 3; ++i)
      if (IsChecked(kCipherButtons[i])) algorithm = CipherAlgorithm(i);
    format = IsChecked(IDC_RADIO_SEALED) ? FileFormat::kSealed : FileFormat::kLegacy;
    useManualKey = IsChecked(IDC_CHECK_MANUAL);
    pack = IsChecked(IDC_CHECK_PACK);
  } else {
    // The group's ids are not ascending (1021, 1006, 1007), so each is set on its own.
    const bool legacy = format == FileFormat::kLegacy;
    for (int i = 0; i < 3; ++i) SetChecked(kCipherButtons[i], legacy && i == algorithm);
    SetChecked(IDC_RADIO_SEALED, !legacy);
    SetChecked(IDC_CHECK_MANUAL, useManualKey);
    SetChecked(IDC_CHECK_PACK, pack);
  }
}

void CDlgEnDe::ReloadKeys() {
  ComboKeyTarget combo(Item(IDC_KEY_COMBO));
  db_.LoadKeyList(nullptr, &combo, &theApp.keyValues);
}

void CDlgEnDe::AddPaths(const std::vector<std::wstring>& paths) {
  HWND list = Item(IDC_FILE_LIST);
  for (const std::wstring& path : paths) {
    if (path.empty()) continue;
    const bool listed =
        std::any_of(paths_.begin(), paths_.end(), [&](const std::wstring& p) { return SamePath(p, path); });
    if (listed) continue;
    paths_.push_back(path);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(paths_.size()) - 1;
    item.pszText = const_cast<wchar_t*>(L"");
    const int row = ListView_InsertItem(list, &item);
    SetRowNumber(list, row);
    ListView_SetItemText(list, row, 1, const_cast<wchar_t*>(path.c_str()));
  }
}

void CDlgEnDe::RemoveSelected() {
  HWND list = Item(IDC_FILE_LIST);
  int first = -1;
  // From the bottom up, so the rows still to remove keep their numbers.
  for (int row = ListView_GetItemCount(list) - 1; row >= 0; --row) {
    if (!(ListView_GetItemState(list, row, LVIS_SELECTED) & LVIS_SELECTED)) continue;
    ListView_DeleteItem(list, row);
    paths_.erase(paths_.begin() + row);
    first = row;
  }
  if (first < 0) return;
  for (int row = first; row < ListView_GetItemCount(list); ++row) SetRowNumber(list, row);
}

void CDlgEnDe::OnDropFiles(HDROP drop) {
  std::vector<std::wstring> paths;
  if (!running_ && !started_) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      // Read whole: a path cut to a fixed length would name another file or folder.
      const UINT length = DragQueryFileW(drop, i, nullptr, 0);
      std::wstring path(length + 1, L'\0');
      path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
      paths.push_back(std::move(path));
    }
  }
  DragFinish(drop);
  AddPaths(paths);
}

void CDlgEnDe::OnAddFiles(bool folders) {
  IFileOpenDialog* raw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&raw))))
    return;
  ComPtr<IFileOpenDialog> picker = ComPtr<IFileOpenDialog>::Adopt(raw);
  FILEOPENDIALOGOPTIONS options = 0;
  picker->GetOptions(&options);
  options |= FOS_ALLOWMULTISELECT | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR;
  options |= folders ? FOS_PICKFOLDERS : FOS_FILEMUSTEXIST;
  picker->SetOptions(options);
  picker->SetTitle(Text(folders ? IDS_PICK_FOLDER : IDS_PICK_FILES).c_str());
  if (picker->Show(hwnd()) != S_OK) return;

  IShellItemArray* rawItems = nullptr;
  if (FAILED(picker->GetResults(&rawItems))) return;
  ComPtr<IShellItemArray> items = ComPtr<IShellItemArray>::Adopt(rawItems);
  DWORD count = 0;
  items->GetCount(&count);
  std::vector<std::wstring> paths;
  for (DWORD i = 0; i < count; ++i) {
    IShellItem* rawItem = nullptr;
    if (FAILED(items->GetItemAt(i, &rawItem))) continue;
    ComPtr<IShellItem> item = ComPtr<IShellItem>::Adopt(rawItem);
    wchar_t* name = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
      paths.emplace_back(name);
      CoTaskMemFree(name);
    }
  }
  AddPaths(paths);
}

void CDlgEnDe::OnListMenu(LPARAM position) {
  if (started_) return;
  HWND list = Item(IDC_FILE_LIST);
  POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  if (position == -1) {  // from the keyboard: at the list's corner
    at = {0, 0};
    ClientToScreen(list, &at);
  }
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_STRING, IDC_BTN_ADD_FILES, Text(IDS_MENU_ADD_FILES).c_str());
  AppendMenuW(menu, MF_STRING, IDC_BTN_ADD_FOLDER, Text(IDS_MENU_ADD_FOLDER).c_str());
  const bool selected = ListView_GetSelectedCount(list) > 0;
  AppendMenuW(menu, MF_STRING | (selected ? 0 : MF_GRAYED), IDC_BTN_REMOVE, Text(IDS_MENU_REMOVE).c_str());
  const int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
  DestroyMenu(menu);
  if (command != 0) OnCommand(static_cast<WORD>(command), BN_CLICKED);
}

void CDlgEnDe::OnOK() {
  // Enter in the dialog: closes it like "退出", but never during or after a run.
  if (!started_) EndDialog(IDOK);
}

void CDlgEnDe::OnCancel() {
  // Escape and the close box: during a run they stop it; the dialog closes
  // only once the run has told what it did.
  if (running_) {
    RequestCancel();
  } else if (!started_) {
    EndDialog(IDCANCEL);
  }
}

bool CDlgEnDe::OnCommand(WORD id, WORD notifyCode) {
  if (notifyCode != BN_CLICKED) return false;
  switch (id) {
    case IDC_BTN_START: OnStart(); return true;
    case IDC_BTN_QUIT:
      if (running_) {
        RequestCancel();
      } else if (!started_) {
        EndDialog(IDOK);
      }
      return true;
    case IDC_CHECK_MANUAL: OnManualKey(); return true;
    case IDC_BTN_PLUS: OnPlus(); return true;
    case IDC_BTN_ADD_FILES:
    case IDC_BTN_ADD_FOLDER:
      if (!started_) OnAddFiles(id == IDC_BTN_ADD_FOLDER);
      return true;
    case IDC_BTN_REMOVE:
      if (!started_) RemoveSelected();
      return true;
    default: return false;
  }
}

bool CDlgEnDe::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (msg) {
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      result = 0;
      return true;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) != Item(IDC_FILE_LIST)) return false;
      OnListMenu(lParam);
      result = 0;
      return true;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom != IDC_FILE_LIST || header->code != LVN_KEYDOWN) return false;
      if (reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey == VK_DELETE && !started_) RemoveSelected();
      result = 0;
      return true;
    }
    case WM_RUN_PROGRESS:
      ShowProgress();
      result = 0;
      return true;
    case WM_RUN_FINISHED:
      OnRunFinished();
      result = 0;
      return true;
    default:
      return false;
  }
}

void CDlgEnDe::OnManualKey() {
  UpdateData(true);
  if (!useManualKey) return;
  CDlgKeyMt input(hwnd());
  if (input.DoModal() != IDOK) theApp.manualKey.clear();
}

void CDlgEnDe::OnPlus() {
  CVellumoDlg settings(hwnd());
  settings.DoModal();
  ReloadKeys();
}

void CDlgEnDe::OnStart() {
  if (started_) return;  // one run per dialog
  const int keyIndex = static_cast<int>(SendMessageW(Item(IDC_KEY_COMBO), CB_GETCURSEL, 0, 0));
  const bool haveKey = keyIndex >= 0 && static_cast<size_t>(keyIndex) < theApp.keyValues.size();
  if (!paths_.empty() && !haveKey) {
    Prompt(Text(IDS_CHOOSE_KEY), MB_OK | MB_TOPMOST);
    return;
  }

  const CipherAlgorithm oldAlgorithm = algorithm;
  const FileFormat oldFormat = format;
  const BOOL oldPack = pack;
  UpdateData(true);
  if (algorithm != oldAlgorithm) WriteCipherType(theApp.settingsFile, algorithm);
  if (format != oldFormat) WriteFileFormat(theApp.settingsFile, format);
  if (pack != oldPack) WritePacking(theApp.settingsFile, pack);
  if (paths_.empty()) return;  // nothing to treat, nothing shown

  const std::wstring& listKey = theApp.keyValues[static_cast<size_t>(keyIndex)];
  const std::wstring typedKey = useManualKey ? theApp.manualKey : std::wstring();
  run_.key = OverlayKeyBlock(listKey, typedKey);
  run_.keyText = RunKeyText(listKey, typedKey);
  run_.format = format;
  run_.algorithm = algorithm;
  run_.direction = direction;
  run_.pack = direction == Direction::kEncrypt && pack;
  run_.cancel = &cancel_;
  runPaths_ = paths_;

  started_ = true;
  SetRunning(true);
  runStart_ = GetTickCount64();
  worker_ = CreateThread(nullptr, 0, &CDlgEnDe::WorkerThread, this, 0, nullptr);
  if (worker_ == nullptr) {
    started_ = false;
    SetRunning(false);
  }
}

DWORD WINAPI CDlgEnDe::WorkerThread(LPVOID param) {
  auto* dialog = static_cast<CDlgEnDe*>(param);
  DialogReporter reporter(dialog->hwnd(), dialog->reports_);
  RunSummary summary = RunSelection(dialog->runPaths_, dialog->run_, reporter);
  {
    std::lock_guard<std::mutex> hold(dialog->reports_.lock);
    dialog->reports_.summary = std::move(summary);
  }
  // The dialog waits for this thread once the message arrives; nothing of
  // the dialog is touched after it.
  PostMessageW(dialog->hwnd(), WM_RUN_FINISHED, 0, 0);
  return 1;
}

void CDlgEnDe::SetRunning(bool running) {
  running_ = running;
  for (int id : kIdleControls) EnableWindow(Item(id), running ? FALSE : TRUE);
  SetItemText(IDC_BTN_QUIT, Text(running ? IDS_CANCEL : IDS_QUIT));
}

void CDlgEnDe::RequestCancel() {
  if (cancelling_) return;
  cancelling_ = true;
  cancel_ = true;
  EnableWindow(Item(IDC_BTN_QUIT), FALSE);
  SetItemText(IDC_STATUS, Text(IDS_CANCELLING));
}

void CDlgEnDe::ShowProgress() {
  RunProgress progress;
  Direction fileDirection;
  std::wstring path;
  {
    std::lock_guard<std::mutex> hold(reports_.lock);
    reports_.progressPosted = false;
    progress = reports_.progress;
    fileDirection = reports_.direction;
    path = reports_.path;
  }
  if (!cancelling_ && !path.empty()) {
    size_t pathStart = 0;
    const std::wstring status = StatusText(fileDirection, path, &pathStart);
    SetItemText(IDC_STATUS, FitToControl(Item(IDC_STATUS), status, pathStart));
  }
  // Once the run is over there is no rate or time left to tell.
  const double elapsed = static_cast<double>(GetTickCount64() - runStart_) / 1000.0;
  const RunEstimate estimate = running_ ? EstimateRun(progress, elapsed) : RunEstimate();
  const std::wstring done = std::to_wstring(progress.filesDone), total = std::to_wstring(progress.filesTotal);
  SetItemText(IDC_PROGRESS_TEXT, estimate.known ? FillText(Text(IDS_PROGRESS_RATE),
                                                           {done, total, RateText(estimate.bytesPerSecond),
                                                            DurationText(estimate.secondsLeft)})
                                                : FillText(Text(IDS_PROGRESS_FILES), {done, total}));
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(ProgressPosition(progress)), 0);
}

void CDlgEnDe::OnRunFinished() {
  WaitForSingleObject(worker_, INFINITE);
  CloseHandle(worker_);
  worker_ = nullptr;
  SetRunning(false);
  ShowProgress();  // the last report: the totals reached, or where the run stopped
  for (int id : kIdleControls) EnableWindow(Item(id), FALSE);  // one run per dialog
  EnableWindow(Item(IDC_BTN_QUIT), FALSE);

  RunSummary summary;
  {
    std::lock_guard<std::mutex> hold(reports_.lock);
    summary = std::move(reports_.summary);
  }
  SetItemText(IDC_STATUS, FillText(Text(IDS_STATUS_TOTAL), {std::to_wstring(summary.processed)}));
  // A run from the shell in which every file succeeded closes as designed,
  // unless the user asked to see every summary; anything else is shown.
  const bool clean = !summary.cancelled && summary.allDone();
  if (!(fromShell && clean && ReadAutoClose(theApp.settingsFile))) {
    CDlgRunSummary(hwnd(), summary).DoModal();
  }
  EndDialog(IDOK);
}

}  // namespace vellumo
