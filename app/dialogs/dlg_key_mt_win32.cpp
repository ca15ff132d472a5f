#include "app/dialogs/dlg_key_mt_win32.h"

#include "app/vellumo_app_win32.h"
#include "resources/resource.h"

namespace vellumo {

CDlgKeyMt::CDlgKeyMt(HWND parent) : CDialog(IDD_KEY_MT, parent) {}

BOOL CDlgKeyMt::OnInitDialog() {
  SetItemText(IDC_EDIT_MANUAL_KEY, key);
  SetItemText(IDC_EDIT_MANUAL_CONFIRM, confirmation);
  return TRUE;
}

void CDlgKeyMt::OnOK() {
  key = ItemText(IDC_EDIT_MANUAL_KEY);
  confirmation = ItemText(IDC_EDIT_MANUAL_CONFIRM);
  if (key.empty() || confirmation.empty()) {
    Prompt(L"密钥不能为空！", MB_OK | MB_TOPMOST);
    return;
  }
  if (key != confirmation) {
    Prompt(L"两个密钥不同，请重新输入！", MB_OK | MB_TOPMOST);
    return;
  }
  theApp.manualKey = key;
  EndDialog(IDOK);
}

}  // namespace vellumo
