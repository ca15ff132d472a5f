#include "app/dialogs/vellumo_dlg_win32.h"

#include <commctrl.h>

#include <string>

#include "app/vellumo_app_win32.h"
#include "app/dialogs/dlg_key_add_win32.h"
#include "app/dialogs/key_list_win32.h"
#include "app/update/update_check_win32.h"
#include "resources/resource.h"

namespace vellumo {
namespace {

std::wstring ListCellText(HWND list, int row, int column) {
  wchar_t text[1024] = {};
  ListView_GetItemText(list, row, column, text, 1024);
  return text;
}

}  // namespace

CVellumoDlg::CVellumoDlg(HWND parent)
    : CDialog(IDD_VELLUMO_DIALOG, parent),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      db_(theApp.keyDatabase(), theApp.keyDatabaseTemplate()) {}

BOOL CVellumoDlg::OnInitDialog() {
  wchar_t about[128] = {};
  LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128);
  if (about[0] != L'\0') {
    if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  HWND list = Item(IDC_KEY_LIST);
  struct Column {
    const wchar_t* heading;
    int width;
  };
  const Column columns[] = {{L"编号", 60}, {L"名称", 130}, {L"密钥", 120}, {L"备注", 100}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = columns[i].width;
    column.pszText = const_cast<wchar_t*>(columns[i].heading);
    ListView_InsertColumn(list, i, &column);
  }
  ListView_SetExtendedListViewStyle(
      list, ListView_GetExtendedListViewStyle(list) | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES);
  ReloadKeys();

  if (HANDLE thread = CreateThread(nullptr, 0, &UpdateCheckThread, hwnd(), 0, nullptr)) CloseHandle(thread);
  return TRUE;
}

void CVellumoDlg::ReloadKeys() {
  ListViewKeyTarget list(Item(IDC_KEY_LIST));
  db_.LoadKeyList(&list, nullptr, &theApp.keyValues);
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
    Prompt(L"名称或密钥不能为空!");
    return;
  }
  db_.AddKey(properties.name, properties.keyText, properties.about);
  ReloadKeys();
}

void CVellumoDlg::OnEdit() {
  int row = SelectedRow();
  if (row < 0) return;
  HWND list = Item(IDC_KEY_LIST);
  std::wstring id = ListCellText(list, row, 0);
  CDlgKeyAdd properties(hwnd());
  properties.name = ListCellText(list, row, 1);
  properties.keyText = ListCellText(list, row, 2);
  properties.about = ListCellText(list, row, 3);
  if (properties.DoModal() != IDOK) return;
  if (properties.name.empty() || properties.keyText.empty()) {
    Prompt(L"名称或密钥不能为空!");
    return;
  }
  db_.EditKey(id, properties.name, properties.keyText, properties.about);
  ReloadKeys();
}

void CVellumoDlg::OnDelete() {
  int row = SelectedRow();
  if (row < 0) return;
  HWND list = Item(IDC_KEY_LIST);
  std::wstring id = ListCellText(list, row, 0);
  std::wstring name = ListCellText(list, row, 1);
  if (Prompt(L"确定要删除密钥: " + name + L" 吗?", MB_OKCANCEL) != IDOK) return;
  db_.DeleteKey(id);
  ReloadKeys();
}

}  // namespace vellumo
