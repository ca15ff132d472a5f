#include "app/dialogs/dlg_key_add_win32.h"

#include "resources/resource.h"

namespace vellumo {

CDlgKeyAdd::CDlgKeyAdd(HWND parent) : CDialog(IDD_KEY_ADD, parent) {}

BOOL CDlgKeyAdd::OnInitDialog() {
  SetItemText(IDC_EDIT_NAME, name);
  SetItemText(IDC_EDIT_KEY, keyText);
  SetItemText(IDC_EDIT_ABOUT, about);
  return TRUE;
}

void CDlgKeyAdd::OnOK() {
  name = ItemText(IDC_EDIT_NAME);
  keyText = ItemText(IDC_EDIT_KEY);
  about = ItemText(IDC_EDIT_ABOUT);
  EndDialog(IDOK);
}

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}

}  // namespace vellumo
