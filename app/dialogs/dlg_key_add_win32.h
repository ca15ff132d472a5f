#pragma once
// The key properties dialog: name, key text and note of one key, for adding
// and editing. It checks nothing itself.
#include <string>

#include "app/dialogs/dialog_win32.h"

namespace vellumo {

class CDlgKeyAdd : public CDialog {
 public:
  explicit CDlgKeyAdd(HWND parent);

  std::wstring name;
  std::wstring keyText;
  std::wstring about;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
};

// The about box, reached from the settings dialog's system menu.
class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(HWND parent);
};

}  // namespace vellumo
