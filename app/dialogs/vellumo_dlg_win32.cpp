#include "app/dialogs/vellumo_dlg_win32.h"

#include <commctrl.h>

#include <string>

#include "app/dialogs/dialog_text.h"
#include "app/dialogs/dlg_key_add_win32.h"
#include "app/settings_win32.h"
#include "app/vellumo_app_win32.h"
#include "app/dialogs/key_list_win32.h"
#include "app/update/update_check_win32.h"
#include "resources/resource.h"

namespace vellumo {

CVellumoDlg::CVellumoDlg(HWND parent)
    : CDialog(IDD_VELLUMO_DIALOG, parent),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      db_(theApp.keyDatabase(), theApp.keyDatabaseTemplate()) {}

BOOL CVellumoDlg::OnInitDialog() {
  const std::wstring about = Text(IDS_ABOUTBOX);
  if (!about.empty()) {
    if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  HWND list = Item(IDC_KEY_LIST);
  const struct {
    UINT heading;
    int width;
  } columns[] = {{IDS_COLUMN_ID, 60}, {IDS_COLUMN_NAME, 130}, {IDS_COLUMN_KEY, 120}, {IDS_COLUMN_ABOUT, 100}};
  for (int i = 0; i < 4; ++i) InsertListColumn(list, i, Text(columns[i].heading), ScaleForDpi(hwnd(), columns[i].width));
  ListView_SetExtendedListViewStyle(
      list, ListView_GetExtendedListViewStyle(list) | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES);
  ReloadKeys();
  SetChecked(IDC_CHECK_AUTO_CLOSE, ReadAutoClose(theApp.settingsFile));

  if (HANDLE thread = CreateThread(nullptr, 0, &UpdateCheckThread, hwnd(), 0, nullptr)) CloseHandle(thread);
  return TRUE;
}

void CVellumoDlg::ReloadKeys() {
  ListViewKeyTarget list(Item(IDC_KEY_LIST), IsChecked(IDC_CHECK_SHOW_KEYS), rows_);
  db_.LoadKeyList(&list, nullptr, &theApp.keyValues);
}

void CVellumoDlg::ShowKeys() {
  // Only the key column changes; the selection stays where it was.
  HWND list = Item(IDC_KEY_LIST);
  const bool show = IsChecked(IDC_CHECK_SHOW_KEYS);
  for (size_t row = 0; row < rows_.size(); ++row) {
    std::wstring text = show ? rows_[row].keyText : std::wstring(kHiddenKey);
    ListView_SetItemText(list, static_cast<int>(row), 2, text.data());
  }
}

int CVellumoDlg::SelectedRow() const {
  return ListView_GetNextItem(Item(IDC_KEY_LIST), -1, LVNI_SELECTED);
}

bool CVellumoDlg::OnCommand(WORD id, WORD notifyCode) {
  if (notifyCode != BN_CLICKED) return false;
  switch (id) {
    case IDC_BTN_ADD: OnAdd(); return true;
    case IDC_BTN_EDIT: OnEdit(); return true;
    case IDC_BTN_DELETE: OnDelete(); return true;
    case IDC_CHECK_SHOW_KEYS: ShowKeys(); return true;
    // Written at once, as every change in this dialog is.
    case IDC_CHECK_AUTO_CLOSE: WriteAutoClose(theApp.settingsFile, IsChecked(IDC_CHECK_AUTO_CLOSE)); return true;
    default: return false;
  }
}

bool CVellumoDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (msg) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;
      CAboutDlg(hwnd()).DoModal();
      result = 0;
      return true;
    case WM_PAINT:
      if (!OnPaintMinimized()) return false;
      result = 0;
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    default:
      return false;
  }
}

bool CVellumoDlg::OnPaintMinimized() {
  if (!IsIconic(hwnd())) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd(), &paint);
  SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(hwnd(), &client);
  int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(hwnd(), &paint);
  return true;
}

void CVellumoDlg::OnAdd() {
  CDlgKeyAdd properties(hwnd());
  if (properties.DoModal() != IDOK) return;
  if (properties.name.empty() || properties.keyText.empty()) {
    Prompt(Text(IDS_NAME_OR_KEY_EMPTY));
    return;
  }
  db_.AddKey(properties.name, properties.keyText, properties.about);
  ReloadKeys();
}

void CVellumoDlg::OnEdit() {
  const int row = SelectedRow();
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  const KeyRow key = rows_[static_cast<size_t>(row)];
  CDlgKeyAdd properties(hwnd(), key.keyText);
  properties.name = key.name;
  properties.about = key.about;
  if (properties.DoModal() != IDOK) return;
  if (properties.name.empty() || properties.keyText.empty()) {
    Prompt(Text(IDS_NAME_OR_KEY_EMPTY));
    return;
  }
  db_.EditKey(key.id, properties.name, properties.keyText, properties.about);
  ReloadKeys();
}

void CVellumoDlg::OnDelete() {
  const int row = SelectedRow();
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  const KeyRow key = rows_[static_cast<size_t>(row)];
  if (Prompt(FillText(Text(IDS_DELETE_KEY), {key.name}), MB_OKCANCEL) != IDOK) return;
  db_.DeleteKey(key.id);
  ReloadKeys();
}

}  // namespace vellumo
