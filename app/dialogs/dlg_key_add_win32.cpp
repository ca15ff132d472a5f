#include "app/dialogs/dlg_key_add_win32.h"

#include <utility>

#include "app/dialogs/dialog_text.h"
#include "crypto/key_block.h"
#include "resources/resource.h"

namespace vellumo {

CDlgKeyAdd::CDlgKeyAdd(HWND parent, std::wstring storedKeyText)
    : CDialog(IDD_KEY_ADD, parent), keyText(storedKeyText), storedKeyText_(std::move(storedKeyText)) {}

BOOL CDlgKeyAdd::OnInitDialog() {
  SetItemText(IDC_EDIT_NAME, name);
  SetItemText(IDC_EDIT_KEY, keyText);
  // A stored key is confirmed already; a new one is typed twice.
  SetItemText(IDC_EDIT_KEY_CONFIRM, keyText);
  SetItemText(IDC_EDIT_ABOUT, about);
  ShowPassword(Item(IDC_EDIT_KEY), false);  // the same mask as after a toggle
  ShowPassword(Item(IDC_EDIT_KEY_CONFIRM), false);
  return TRUE;
}

bool CDlgKeyAdd::OnCommand(WORD id, WORD notifyCode) {
  if (id != IDC_CHECK_SHOW_KEY || notifyCode != BN_CLICKED) return false;
  const bool show = IsChecked(IDC_CHECK_SHOW_KEY);
  ShowPassword(Item(IDC_EDIT_KEY), show);
  ShowPassword(Item(IDC_EDIT_KEY_CONFIRM), show);
  return true;
}

void CDlgKeyAdd::OnOK() {
  const std::wstring typed = ItemText(IDC_EDIT_KEY);
  if (typed != ItemText(IDC_EDIT_KEY_CONFIRM)) {
    Prompt(Text(IDS_KEYS_DIFFER), MB_OK | MB_TOPMOST);
    return;
  }
  if (typed != storedKeyText_ && CheckNewKeyText(typed) == KeyTextProblem::kNotInCodePage) {
    Prompt(FillText(Text(IDS_KEY_NOT_IN_CODEPAGE), {std::to_wstring(GetACP())}), MB_OK | MB_TOPMOST);
    return;
  }
  name = ItemText(IDC_EDIT_NAME);
  keyText = typed;
  about = ItemText(IDC_EDIT_ABOUT);
  EndDialog(IDOK);
}

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent) {}

}  // namespace vellumo
