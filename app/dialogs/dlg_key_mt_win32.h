#pragma once
// The manual key input dialog: a key typed twice, hidden unless "显示密钥" is
// ticked; on OK it becomes the application's manual key.
#include <string>

#include "app/dialogs/dialog_win32.h"

namespace vellumo {

class CDlgKeyMt : public CDialog {
 public:
  explicit CDlgKeyMt(HWND parent);

  std::wstring key;
  std::wstring confirmation;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(WORD id, WORD notifyCode) override;
};

}  // namespace vellumo
