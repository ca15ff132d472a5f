#include "app/dialogs/dlg_en_de_win32.h"

#include <commctrl.h>

#include "app/dialogs/dlg_key_mt_win32.h"
#include "app/dialogs/key_list_win32.h"
#include "app/dialogs/vellumo_dlg_win32.h"
#include "app/settings_win32.h"
#include "app/vellumo_app_win32.h"
#include "handoff/handoff_block_win32.h"
#include "handoff/handoff_layout.h"
#include "resources/resource.h"

namespace vellumo {
namespace {

// Sent by the worker so that the timer belongs to the interface thread.
constexpr UINT WM_BUSY_TIMER = WM_APP + 1;  // wParam: 1 start, 0 stop
constexpr UINT_PTR kBusyTimerId = 1;

const int kCipherButtons[] = {IDC_RADIO_AES, IDC_RADIO_DES, IDC_RADIO_RC4};

// The engine's voice in this dialog: the status line and message boxes that
// the dialog owns. Called from the worker; both calls are synchronous.
class DialogReporter : public Reporter {
 public:
  explicit DialogReporter(HWND dialog) : dialog_(dialog) {}
  void FileStarted(Direction direction, const std::wstring& path) override {
    SetDlgItemTextW(dialog_, IDC_STATUS, StatusLine(direction, path).c_str());
  }
  void Refuse(FileMessage message, const std::wstring& path) override {
    MessageBoxW(dialog_, RefusalText(message, path).c_str(), L"提示", MB_OK | MB_TOPMOST);
  }

 private:
  HWND dialog_;
};

std::wstring RowText(HWND list, int row, int column) {
  // A path of the list is at most what a drop or the handoff block delivers.
  std::wstring text(1024, L'\0');
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text.data();
  item.cchTextMax = static_cast<int>(text.size());
  LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

CDlgEnDe::CDlgEnDe()
    : CDialog(IDD_EN_DE),
      db_(theApp.keyDatabase(), theApp.keyDatabaseTemplate()),
      uiThreadId_(GetCurrentThreadId()) {}

BOOL CDlgEnDe::OnInitDialog() {
  HWND list = Item(IDC_FILE_LIST);
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
  column.fmt = LVCFMT_LEFT;
  column.cx = 60;
  column.pszText = const_cast<wchar_t*>(L"序号");
  ListView_InsertColumn(list, 0, &column);
  column.cx = 356;
  column.pszText = const_cast<wchar_t*>(L"文件名");
  ListView_InsertColumn(list, 1, &column);
  ListView_SetExtendedListViewStyle(
      list, ListView_GetExtendedListViewStyle(list) | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT);

  ReloadKeys();

  HWND progress = Item(IDC_PROGRESS);
  SendMessageW(progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(progress, PBM_SETSTEP, 5, 0);
  SendMessageW(progress, PBM_SETPOS, 0, 0);

  std::vector<std::wstring> paths;
  HandoffBlock handoff;
  handoff.ReadList(kHandoffName, paths);
  if (!theApp.startFile.empty()) paths.push_back(theApp.startFile);
  for (const std::wstring& path : paths) AppendRow(path);

  SetWindowTextW(hwnd(), direction == Direction::kDecrypt ? L"Quennel-文件解密" : L"Quennel-文件加密");

  algorithm = ReadCipherType(theApp.settingsFile);
  // An unknown cipher id would be written into the header of a file whose
  // body stays plain; such a value selects AES instead.
  if (!algorithm.IsKnown()) algorithm = kAes;
  pack = ReadPacking(theApp.settingsFile);

  if (direction == Direction::kDecrypt) {
    for (int id : {IDC_CHECK_PACK, IDC_RADIO_AES, IDC_RADIO_DES, IDC_RADIO_RC4, IDC_LABEL_CIPHER})
      ShowWindow(Item(id), SW_HIDE);
  }
  UpdateData(false);
  return TRUE;
}

void CDlgEnDe::UpdateData(bool saveAndValidate) {
  if (saveAndValidate) {
    for (int i = 0; i < 3; ++i)
      if (IsChecked(kCipherButtons[i])) algorithm = CipherAlgorithm(i);
    useManualKey = IsChecked(IDC_CHECK_MANUAL);
    pack = IsChecked(IDC_CHECK_PACK);
  } else {
    // The group's ids are not ascending (1021, 1006, 1007), so each is set on its own.
    for (int i = 0; i < 3; ++i) SetChecked(kCipherButtons[i], i == algorithm);
    SetChecked(IDC_CHECK_MANUAL, useManualKey);
    SetChecked(IDC_CHECK_PACK, pack);
  }
}

void CDlgEnDe::AppendRow(const std::wstring& path) {
  HWND list = Item(IDC_FILE_LIST);
  int row = ListView_GetItemCount(list);
  std::wstring number = std::to_wstring(row + 1);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = number.data();
  row = ListView_InsertItem(list, &item);
  ListView_SetItemText(list, row, 1, const_cast<wchar_t*>(path.c_str()));
}

void CDlgEnDe::ReloadKeys() {
  ComboKeyTarget combo(Item(IDC_KEY_COMBO));
  db_.LoadKeyList(nullptr, &combo, &theApp.keyValues);
}

void CDlgEnDe::OnOK() {
  // Enter in the dialog: closes it like "退出", but never during a run.
  if (!started_) EndDialog(IDOK);
}

void CDlgEnDe::OnCancel() {
  // Escape: closing mid-run would end the program inside a file.
  if (!started_) EndDialog(IDCANCEL);
}

bool CDlgEnDe::OnCommand(WORD id, WORD notifyCode) {
  if (notifyCode != BN_CLICKED) return false;
  switch (id) {
    case IDC_BTN_START: OnStart(); return true;
    case IDC_BTN_QUIT: EndDialog(IDOK); return true;
    case IDC_CHECK_MANUAL: OnManualKey(); return true;
    case IDC_BTN_PLUS: OnPlus(); return true;
    default: return false;
  }
}

bool CDlgEnDe::OnMessage(UINT msg, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (msg) {
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      result = 0;
      return true;
    case WM_TIMER:
      if (wParam != kBusyTimerId) return false;
      OnTimerTick();
      result = 0;
      return true;
    case WM_BUSY_TIMER:
      if (wParam != 0) {
        busyPosition_ = 0;
        SetTimer(hwnd(), kBusyTimerId, 500, nullptr);
      } else {
        KillTimer(hwnd(), kBusyTimerId);
      }
      result = 0;
      return true;
    default:
      return false;
  }
}

void CDlgEnDe::OnDropFiles(HDROP drop) {
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t path[MAX_PATH] = {};
    DragQueryFileW(drop, i, path, MAX_PATH);
    AppendRow(path);
  }
  DragFinish(drop);
}

void CDlgEnDe::OnTimerTick() {
  busyPosition_ += 10;
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(busyPosition_), 0);
  if (busyPosition_ >= 100) busyPosition_ = 0;
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
  if (started_) return;  // a second click before the first run disabled the button
  int rows = ListView_GetItemCount(Item(IDC_FILE_LIST));
  int keyIndex = static_cast<int>(SendMessageW(Item(IDC_KEY_COMBO), CB_GETCURSEL, 0, 0));
  bool haveKey = keyIndex >= 0 && static_cast<size_t>(keyIndex) < theApp.keyValues.size();
  if (rows > 0 && !haveKey) {
    Prompt(L"请先选择密钥!", MB_OK | MB_TOPMOST);
    return;
  }

  const CipherAlgorithm oldAlgorithm = algorithm;
  const BOOL oldPack = pack;
  UpdateData(true);
  if (algorithm != oldAlgorithm) WriteCipherType(theApp.settingsFile, algorithm);
  if (pack != oldPack) WritePacking(theApp.settingsFile, pack);
  if (rows == 0) return;  // nothing to treat, nothing shown

  const std::wstring& listKey = theApp.keyValues[static_cast<size_t>(keyIndex)];
  run_.key = OverlayKeyBlock(listKey, useManualKey ? theApp.manualKey : std::wstring());
  run_.algorithm = algorithm;
  run_.direction = direction;
  run_.pack = direction == Direction::kEncrypt && pack;

  started_ = true;
  EnableWindow(Item(IDC_BTN_START), FALSE);
  HANDLE thread = CreateThread(nullptr, 0, &CDlgEnDe::WorkerThread, this, 0, nullptr);
  if (thread == nullptr) {
    started_ = false;
    EnableWindow(Item(IDC_BTN_START), TRUE);
    return;
  }
  CloseHandle(thread);
}

DWORD WINAPI CDlgEnDe::WorkerThread(LPVOID param) {
  auto* dialog = static_cast<CDlgEnDe*>(param);
  DWORD uiThread = dialog->uiThreadId_;
  // The quit request ends the modal loop and with it the program; the dialog
  // object is not touched after it.
  if (dialog->RunWorker()) PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
  return 1;
}

bool CDlgEnDe::RunWorker() {
  HWND list = Item(IDC_FILE_LIST);
  int rows = ListView_GetItemCount(list);
  if (rows == 0) return false;
  std::vector<std::wstring> paths;
  for (int row = 0; row < rows; ++row) paths.push_back(RowText(list, row, 1));
  ListView_DeleteAllItems(list);
  EnableWindow(Item(IDC_BTN_START), FALSE);
  EnableWindow(Item(IDC_BTN_QUIT), FALSE);

  SendMessageW(hwnd(), WM_BUSY_TIMER, 1, 0);
  DialogReporter reporter(hwnd());
  const RunSummary summary = RunSelection(paths, run_, reporter);
  if (!run_.pack) {
    EnableWindow(Item(IDC_BTN_QUIT), TRUE);
    SetItemText(IDC_STATUS, L"共处理文件数:" + std::to_wstring(summary.processed));
  }
  SendMessageW(hwnd(), WM_BUSY_TIMER, 0, 0);
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, 100, 0);
  return true;
}

}  // namespace vellumo
