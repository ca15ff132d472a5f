#pragma once
// The manual key input dialog: a key typed twice; on OK it becomes the
// application's manual key.
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
};

}  // namespace vellumo
