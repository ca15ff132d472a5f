#pragma once
// The key properties dialog: name, key text and note of one key, for adding
// and editing. The key is typed twice, both times hidden unless "显示密钥" is
// ticked; a new key text must fit the code page. Whether name and key are
// given is the settings dialog's check.
#include <string>

#include "app/dialogs/dialog_win32.h"

namespace vellumo {

class CDlgKeyAdd : public CDialog {
 public:
  // A new key, or one whose stored key text is `storedKeyText`: that text is
  // taken as it is even when it would not do for a new key.
  explicit CDlgKeyAdd(HWND parent, std::wstring storedKeyText = std::wstring());

  std::wstring name;
  std::wstring keyText;
  std::wstring about;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD notifyCode) override;

 private:
  std::wstring storedKeyText_;
};

// The about box, reached from the settings dialog's system menu.
class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND parent);
};

}  // namespace vellumo
