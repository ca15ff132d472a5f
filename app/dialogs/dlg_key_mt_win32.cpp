#include "app/dialogs/dlg_key_mt_win32.h"

#include "app/dialogs/dialog_text.h"
#include "app/vellumo_app_win32.h"
#include "crypto/key_block.h"
#include "resources/resource.h"

namespace vellumo {

CDlgKeyMt::CDlgKeyMt(HWND parent) : CDialog(IDD_KEY_MT, parent) {}

BOOL CDlgKeyMt::OnInitDialog() {
  SetItemText(IDC_EDIT_MANUAL_KEY, key);
  SetItemText(IDC_EDIT_MANUAL_CONFIRM, confirmation);
  ShowPassword(Item(IDC_EDIT_MANUAL_KEY), false);  // the same mask as after a toggle
  ShowPassword(Item(IDC_EDIT_MANUAL_CONFIRM), false);
  return TRUE;
}

bool CDlgKeyMt::OnCommand(WORD id, WORD notifyCode) {
  if (id != IDC_CHECK_SHOW_KEY || notifyCode != BN_CLICKED) return false;
  const bool show = IsChecked(IDC_CHECK_SHOW_KEY);
  ShowPassword(Item(IDC_EDIT_MANUAL_KEY), show);
  ShowPassword(Item(IDC_EDIT_MANUAL_CONFIRM), show);
  return true;
}

void CDlgKeyMt::OnOK() {
  key = ItemText(IDC_EDIT_MANUAL_KEY);
  confirmation = ItemText(IDC_EDIT_MANUAL_CONFIRM);
  if (key.empty() || confirmation.empty()) {
    Prompt(Text(IDS_KEY_EMPTY), MB_OK | MB_TOPMOST);
    return;
  }
  if (key != confirmation) {
    Prompt(Text(IDS_KEYS_DIFFER), MB_OK | MB_TOPMOST);
    return;
  }
  // Characters the code page lacks would all become "?": different keys, one block.
  if (CheckNewKeyText(key) == KeyTextProblem::kNotInCodePage) {
    Prompt(FillText(Text(IDS_KEY_NOT_IN_CODEPAGE), {std::to_wstring(GetACP())}), MB_OK | MB_TOPMOST);
    return;
  }
  theApp.manualKey = key;
  EndDialog(IDOK);
}

}  // namespace vellumo
