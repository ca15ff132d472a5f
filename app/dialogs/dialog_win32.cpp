#include "app/dialogs/dialog_win32.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "resources/ui_language_win32.h"

namespace vellumo {
namespace {

// Dialogs open centred on their owner, or on the work area when they have none.
void CenterOnOwner(HWND hwnd) {
  RECT area, window;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  if (owner == nullptr || !GetWindowRect(owner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(hwnd, &window);
  int width = window.right - window.left, height = window.bottom - window.top;
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(hwnd, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

INT_PTR CDialog::DoModal() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindUiResource(module, RT_DIALOG, MAKEINTRESOURCEW(templateId_));
  const void* dialog = found != nullptr ? LockResource(LoadResource(module, found)) : nullptr;
  if (dialog == nullptr) return -1;
  return DialogBoxIndirectParamW(module, static_cast<LPCDLGTEMPLATEW>(dialog), parent_, &CDialog::DialogProc,
                                 reinterpret_cast<LPARAM>(this));
}

std::wstring Text(UINT id) { return UiString(GetModuleHandleW(nullptr), id); }

void ShowPassword(HWND edit, bool show) {
  SendMessageW(edit, EM_SETPASSWORDCHAR, show ? 0 : L'\u25CF', 0);
  InvalidateRect(edit, nullptr, TRUE);
}

int ScaleForDpi(HWND window, int pixels) {
  HDC dc = GetDC(window);
  const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc != nullptr) ReleaseDC(window, dc);
  return MulDiv(pixels, dpi, 96);
}

std::wstring WindowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::wstring CDialog::ItemText(int id) const { return WindowText(Item(id)); }

int CDialog::Prompt(const std::wstring& text, UINT flags) const {
  return MessageBoxW(hwnd_, text.c_str(), Text(IDS_CAPTION).c_str(), flags);
}

void InsertListColumn(HWND list, int index, std::wstring heading, int width) {
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = heading.data();
  ListView_InsertColumn(list, index, &column);
}

int RemainingListWidth(HWND list, int used) {
  RECT client;
  GetClientRect(list, &client);
  const int left = client.right - used - GetSystemMetrics(SM_CXVSCROLL);
  return left > 0 ? left : ScaleForDpi(list, 60);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
    CenterOnOwner(hwnd);
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG
  switch (msg) {
    case WM_COMMAND: {
      WORD id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == IDOK && code == BN_CLICKED) {
        self->OnOK();
        return TRUE;
      }
      if (id == IDCANCEL) {  // button, Escape or the close box
        self->OnCancel();
        return TRUE;
      }
      if (self->OnCommand(id, code)) return TRUE;
      break;
    }
    default:
      break;
  }
  INT_PTR result = 0;
  if (self->OnMessage(msg, wParam, lParam, result)) {
    // The drag icon travels in the return value itself.
    if (msg == WM_QUERYDRAGICON) return result;
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}

}  // namespace vellumo
